#include "qeinteg/platform/host/text/ExtNameStr.h"

#include "qeinteg/platform/host/text/CodePage.h"

bool ExtNameStr::SetGeneric(const char* generic) {
    generic_ = generic == nullptr ? std::string() : std::string(generic);
    return TAVOMBGenericToU8(generic_, utf8_, nullptr);
}

bool ExtNameStr::SetU8(const char* utf8) {
    utf8_ = utf8 == nullptr ? std::string() : std::string(utf8);
    return TAVOMBU8ToGeneric(utf8_, generic_, nullptr);
}

std::u16string ExtNameStr::GetU16() const {
    std::u16string out;
    out.reserve(utf8_.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8_.data());
    const auto* end = p + utf8_.size();
    while (p < end) {
        char32_t cp = 0xFFFD;
        int len = 1;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            len = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            len = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            len = 4;
        }
        if (len > 1) {
            bool ok = end - p >= len;
            for (int i = 1; ok && i < len; ++i)
                ok = (p[i] & 0xC0) == 0x80;
            if (ok) {
                cp = lead & (0xFF >> (len + 1));
                for (int i = 1; i < len; ++i)
                    cp = (cp << 6) | (p[i] & 0x3F);
                const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
                if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                    cp = 0xFFFD;
            } else {
                cp = 0xFFFD;
                len = 1;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        p += len;
    }
    return out;
}

FILE* ExtNameStr::fopen(const char* mode) const {
    if (utf8_.empty() || mode == nullptr)
        return nullptr;
    return std::fopen(utf8_.c_str(), mode);
}

bool ExtNameStr::remove() const {
    if (utf8_.empty())
        return false;
    return std::remove(utf8_.c_str()) == 0;
}
