#include "qeinteg/platform/host/text/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"

namespace {

constexpr const char* kDefaultCodePage = "UTF-8";

// How characters are laid out in bytes, which is all the scanning functions need to know.
enum class Layout { kSingleByte, kUtf8, kShiftJis, kEucJp, kGb18030, kDoubleByte };

struct CodePageState {
    std::mutex mutex;
    std::string name = kDefaultCodePage;
    Layout layout = Layout::kUtf8;
};

CodePageState& State() {
    static auto* state = new CodePageState();
    return *state;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

Layout LayoutOf(const std::string& codePage) {
    std::string name = Upper(codePage);
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
    if (name == "UTF8")
        return Layout::kUtf8;
    if (name == "SHIFTJIS" || name == "SJIS" || name == "CP932" || name == "WINDOWS31J" ||
        name == "MSKANJI") {
        return Layout::kShiftJis;
    }
    if (name == "EUCJP")
        return Layout::kEucJp;
    if (name == "GB18030")
        return Layout::kGb18030;
    if (name == "GBK" || name == "CP936" || name == "GB2312" || name == "EUCCN" ||
        name == "CP949" || name == "UHC" || name == "EUCKR" || name == "BIG5" || name == "CP950" ||
        name == "BIG5HKSCS") {
        return Layout::kDoubleByte;
    }
    return Layout::kSingleByte;
}

Layout CurrentLayout() {
    CodePageState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.layout;
}

std::string CurrentCodePage() {
    CodePageState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.name;
}

// Length of the character at p under `layout`; p points at a non-zero byte. Stops short rather
// than running into a terminating zero.
int CharLen(Layout layout, const unsigned char* p) {
    const unsigned char lead = p[0];
    int want = 1;
    switch (layout) {
        case Layout::kSingleByte:
            return 1;
        case Layout::kUtf8:
            if (lead >= 0xF0 && lead <= 0xF4) {
                want = 4;
            } else if (lead >= 0xE0) {
                want = lead <= 0xEF ? 3 : 1;
            } else if (lead >= 0xC2) {
                want = 2;
            }
            for (int i = 1; i < want; ++i) {
                if ((p[i] & 0xC0) != 0x80)
                    return 1;  // broken sequence: step one byte
            }
            return want;
        case Layout::kShiftJis:
            want = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
            break;
        case Layout::kEucJp:
            if (lead == 0x8F) {
                want = 3;
            } else if (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) {
                want = 2;
            }
            break;
        case Layout::kGb18030:
            if (lead >= 0x81 && lead <= 0xFE) {
                want = (p[1] >= 0x30 && p[1] <= 0x39) ? 4 : 2;
            }
            break;
        case Layout::kDoubleByte:
            want = (lead >= 0x81 && lead <= 0xFE) ? 2 : 1;
            break;
    }
    for (int i = 1; i < want; ++i) {
        if (p[i] == 0)
            return i;
    }
    return want;
}

// A converter handle: the code page it converts from/to UTF-8 (empty = the host code page).
struct Converter {
    std::string codePage;
    Layout layout = Layout::kSingleByte;
};

// iconv descriptors are not free to open, so each thread keeps the ones it has used.
class IconvCache {
  public:
    ~IconvCache() {
        for (auto& entry : cache_)
            iconv_close(entry.second);
    }
    iconv_t Get(const std::string& to, const std::string& from) {
        auto key = std::make_pair(to, from);
        auto it = cache_.find(key);
        if (it != cache_.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
            return it->second;
        }
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            return cd;
        cache_.emplace(std::move(key), cd);
        return cd;
    }

  private:
    std::map<std::pair<std::string, std::string>, iconv_t> cache_;
};

iconv_t Descriptor(const std::string& to, const std::string& from) {
    thread_local IconvCache cache;
    return cache.Get(to, from);
}

// The code page a conversion uses and how its characters are laid out.
std::pair<std::string, Layout> CodePageOf(void* converter) {
    if (converter != nullptr) {
        const auto* handle = static_cast<const Converter*>(converter);
        if (!handle->codePage.empty())
            return {handle->codePage, handle->layout};
    }
    CodePageState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return {state.name, state.layout};
}

bool IsAscii(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    }
    return true;
}

// Converts `length` bytes; undecodable input becomes '?' (one per skipped character, using the
// source layout to find where the next character starts) and the result is false.
bool Convert(const std::string& to, const std::string& from, Layout fromLayout, const char* text,
             std::size_t length, std::string& out) {
    out.clear();
    if (IsAscii(text, length)) {
        out.assign(text, length);
        return true;
    }
    iconv_t cd = Descriptor(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No conversion available: keep ASCII, mark the rest.
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return false;
    }
    bool ok = true;
    char* in = const_cast<char*>(text);
    std::size_t inLeft = length;
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: skip the offending character and go on.
        ok = false;
        out.push_back('?');
        std::size_t skip = 1;
        if (*in != '\0') {
            // The view need not be zero-terminated: measure the character in a padded copy so a
            // lead byte at the very end is never followed past the input.
            unsigned char probe[5] = {0, 0, 0, 0, 0};
            std::memcpy(probe, in, std::min<std::size_t>(inLeft, 4));
            skip = static_cast<std::size_t>(CharLen(fromLayout, probe));
        }
        skip = std::min(std::max<std::size_t>(skip, 1), inLeft);
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return ok;
}

const bool kRegistered = qehost::testing::RegisterResetHook([](const std::string&) {
    CodePageState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.name = kDefaultCodePage;
    state.layout = Layout::kUtf8;
});

}  // namespace

std::string TAVOMBDefaultCodePage() {
    return CurrentCodePage();
}

bool qUTF8mode() {
    return CurrentLayout() == Layout::kUtf8;
}

void* TAVOMBConverterNew_A(const char* codePage) {
    auto converter = std::make_unique<Converter>();
    if (codePage != nullptr && *codePage != '\0') {
        iconv_t cd = iconv_open("UTF-8", codePage);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return nullptr;
        iconv_close(cd);
        converter->codePage = codePage;
        converter->layout = LayoutOf(codePage);
    }
    return converter.release();
}

void TAVOMBConverterDelete_A(void* converter) {
    delete static_cast<Converter*>(converter);
}

bool TAVOMBGenericToU8(const char* in, std::string& out, void* converter) {
    if (in == nullptr) {
        out.clear();
        return true;
    }
    return TAVOMBGenericToU8(std::string_view(in), out, converter);
}

bool TAVOMBGenericToU8(std::string_view in, std::string& out, void* converter) {
    if (IsAscii(in.data(), in.size())) {
        out.assign(in);
        return true;
    }
    const auto [codePage, layout] = CodePageOf(converter);
    return Convert("UTF-8", codePage, layout, in.data(), in.size(), out);
}

bool TAVOMBU8ToGeneric(const char* in, std::string& out, void* converter) {
    if (in == nullptr) {
        out.clear();
        return true;
    }
    return TAVOMBU8ToGeneric(std::string_view(in), out, converter);
}

bool TAVOMBU8ToGeneric(std::string_view in, std::string& out, void* converter) {
    if (IsAscii(in.data(), in.size())) {
        out.assign(in);
        return true;
    }
    return Convert(CodePageOf(converter).first, "UTF-8", Layout::kUtf8, in.data(), in.size(), out);
}

int TAVOMBCharLen_A(const char* text) {
    if (text == nullptr || *text == '\0')
        return 1;
    return CharLen(CurrentLayout(), reinterpret_cast<const unsigned char*>(text));
}

char* TAVOMBstrtrim_A(char* text) {
    if (text == nullptr)
        return text;
    // A blank is never part of a multi-byte character in the supported code pages, so trailing
    // blanks can be found from the end.
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        --length;
    text[length] = '\0';
    return text;
}

void TAVOMBstrtrim_A(std::string& text) {
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

const char* TAVOMBstrchr_A(const char* text, int ch) {
    if (text == nullptr)
        return nullptr;
    const Layout layout = CurrentLayout();
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        const int len = CharLen(layout, p);
        if (len == 1 && *p == static_cast<unsigned char>(ch))
            return reinterpret_cast<const char*>(p);
        p += len;
    }
    return ch == 0 ? reinterpret_cast<const char*>(p) : nullptr;
}

const char* TAVOMBstrrchr_A(const char* text, int ch) {
    if (text == nullptr)
        return nullptr;
    const Layout layout = CurrentLayout();
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* found = nullptr;
    while (*p != 0) {
        const int len = CharLen(layout, p);
        if (len == 1 && *p == static_cast<unsigned char>(ch))
            found = p;
        p += len;
    }
    if (ch == 0)
        found = p;
    return reinterpret_cast<const char*>(found);
}

int TAVOMBStringReplaceChar_A(char* text, char from, char to) {
    if (text == nullptr || from == '\0')
        return 0;
    const Layout layout = CurrentLayout();
    auto* p = reinterpret_cast<unsigned char*>(text);
    int count = 0;
    while (*p != 0) {
        const int len = CharLen(layout, p);
        if (len == 1 && *p == static_cast<unsigned char>(from)) {
            *p = static_cast<unsigned char>(to);
            ++count;
            if (to == '\0')
                break;
        }
        p += len;
    }
    return count;
}

int TAVOMBStringReplaceChar_A(std::string& text, char from, char to) {
    if (text.empty() || from == '\0')
        return 0;
    const Layout layout = CurrentLayout();
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.c_str() + i);
        // Embedded zero bytes count as single-byte characters.
        const int len = *p == 0 ? 1 : CharLen(layout, p);
        if (len == 1 && text[i] == from) {
            text[i] = to;
            ++count;
        }
        i += static_cast<std::size_t>(len);
    }
    return count;
}

int TAVOMBstrnccmp_A(const char* a, const char* b, std::size_t n) {
    if (a == nullptr || b == nullptr) {
        if (a == b)
            return 0;
        return a == nullptr ? -1 : 1;
    }
    const Layout layout = CurrentLayout();
    std::size_t i = 0;
    int remainingInChar = 0;  // bytes of a multi-byte character still to compare exactly
    while (i < n) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        unsigned char fa = ca;
        unsigned char fb = cb;
        if (remainingInChar > 0) {
            --remainingInChar;
        } else {
            const int len =
                ca == 0 ? 1 : CharLen(layout, reinterpret_cast<const unsigned char*>(a + i));
            if (len == 1) {
                fa = static_cast<unsigned char>(ca < 0x80 ? std::tolower(ca) : ca);
                fb = static_cast<unsigned char>(cb < 0x80 ? std::tolower(cb) : cb);
            } else {
                remainingInChar = len - 1;
            }
        }
        if (fa != fb)
            return fa < fb ? -1 : 1;
        if (ca == 0)
            return 0;
        ++i;
    }
    return 0;
}

namespace qehost::testing {

bool SetCodePage(const std::string& codePage) {
    if (codePage.empty())
        return false;
    iconv_t to = iconv_open("UTF-8", codePage.c_str());
    if (to == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(to);
    iconv_t from = iconv_open(codePage.c_str(), "UTF-8");
    if (from == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(from);
    // Paths and job texts rely on ASCII keeping its codes (UTF-16 and the like cannot serve).
    std::string probe;
    {
        iconv_t cd = iconv_open(codePage.c_str(), "UTF-8");
        char in[] = "A/\\.:z";
        char out[32];
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = std::strlen(in);
        std::size_t outLeft = sizeof out;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        iconv_close(cd);
        if (rc == static_cast<std::size_t>(-1))
            return false;
        probe.assign(out, static_cast<std::size_t>(outPtr - out));
        if (probe != in)
            return false;
    }
    CodePageState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.name = codePage;
    state.layout = LayoutOf(codePage);
    return true;
}

}  // namespace qehost::testing
