#include "qeinteg/platform/host/DataText.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <mutex>

#include "qeinteg/platform/host/HostTesting.h"

namespace qehost::datatext {
namespace {

std::mutex& Mutex() {
    static std::mutex m;
    return m;
}
std::string& CodePage() {
    static std::string cp = "UTF-8";
    return cp;
}

bool IsUtf8Name(const std::string& name) {
    std::string upper;
    for (char c : name) {
        if (c != '-' && c != '_')
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper == "UTF8";
}

// Converts with iconv; an invalid or unmappable sequence becomes one '?' and is skipped.
bool Convert(std::string_view in, std::string& out, const std::string& from,
             const std::string& to) {
    out.clear();
    if (in.empty())
        return true;
    if (IsUtf8Name(from) && IsUtf8Name(to)) {
        out.assign(in);
        return true;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.assign(in);
        return false;
    }
    bool ok = true;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    std::string buffer(in.size() * 4 + 16, '\0');
    size_t used = 0;
    while (srcLeft > 0) {
        char* dst = buffer.data() + used;
        size_t dstLeft = buffer.size() - used;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = buffer.size() - dstLeft;
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: replace one byte and go on.
        ok = false;
        if (buffer.size() - used < 1)
            buffer.resize(buffer.size() * 2);
        buffer[used++] = '?';
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    buffer.resize(used);
    out = std::move(buffer);
    return ok;
}

const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    std::lock_guard<std::mutex> lock(Mutex());
    CodePage() = "UTF-8";
});

}  // namespace

bool Utf8Mode() {
    return IsUtf8Name(DefaultCodePage());
}

std::string DefaultCodePage() {
    std::lock_guard<std::mutex> lock(Mutex());
    return CodePage();
}

void SetCodePage(const std::string& name) {
    std::lock_guard<std::mutex> lock(Mutex());
    CodePage() = name;
}

bool ToUtf8(std::string_view host, std::string& utf8) {
    return ToUtf8(host, utf8, DefaultCodePage());
}

bool ToUtf8(std::string_view host, std::string& utf8, const std::string& codePage) {
    return Convert(host, utf8, codePage, "UTF-8");
}

bool FromUtf8(std::string_view utf8, std::string& host) {
    return Convert(utf8, host, "UTF-8", DefaultCodePage());
}

std::string ToUtf8(std::string_view host) {
    std::string out;
    ToUtf8(host, out);
    return out;
}

std::string FromUtf8(std::string_view utf8) {
    std::string out;
    FromUtf8(utf8, out);
    return out;
}

}  // namespace qehost::datatext
