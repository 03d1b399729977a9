#include "qeinteg/platform/host/text/TavoVarName.h"

#include <locale.h>
#include <wctype.h>

namespace {

// A UTF-8 locale for towupper_l, made once; null when the system has none (ASCII only then).
locale_t Utf8Locale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
            l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
        return l;
    }();
    return locale;
}

// Decodes one UTF-8 character at text[i]; 0 bytes when the sequence is invalid.
size_t Decode(const std::string& text, size_t i, char32_t& out) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = b(i);
    size_t n;
    if (c < 0x80) {
        out = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        n = 2;
        out = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        out = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        out = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        out = (out << 6) | (b(i + k) & 0x3F);
    }
    return n;
}

void Encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string TavoVarName::GetUpperVarName() const {
    std::string out;
    out.reserve(name_.size());
    const locale_t locale = Utf8Locale();
    size_t i = 0;
    while (i < name_.size()) {
        char32_t c;
        const size_t n = Decode(name_, i, c);
        if (n == 0) {
            out += name_[i++];
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        } else {
            const char32_t upper =
                locale != static_cast<locale_t>(0)
                    ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale))
                    : c;
            Encode(upper, out);
        }
        i += n;
    }
    return out;
}
