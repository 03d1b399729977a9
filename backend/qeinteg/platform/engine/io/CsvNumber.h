// Reading a CSV cell as a number: the exact double nearest to its decimal text.
//
// Accepted: an optional sign ('+' or '-'), digits with at most one '.', at least one digit
// (".5" and "5." are numbers), an optional exponent ("1e-3", "2E+5"). "inf", "nan", hexadecimal
// and out-of-range values ("1e400") are no numbers, and neither is a text with blanks: callers
// trim first.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace qelocal {

namespace csvnumber {

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The general reader: correctly rounded for every decimal text.
inline bool ParseGeneral(std::string_view text, double& out) {
    if (text.empty())
        return false;
    const char* begin = text.data();
    if (*begin == '+') {
        ++begin;  // from_chars does not take a plus sign, and "+-5" is no number
        if (begin == text.data() + text.size() || *begin == '-')
            return false;
    }
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

}  // namespace csvnumber

// Most cells of a data file are short plain decimals ("-12.375"): their digits make an integer
// below 2^53 and their scale a power of ten below 1e23, both exact as doubles, so one division
// gives the correctly rounded value. Anything else (exponents, long digit strings, texts that are
// no numbers) goes to the general reader, so the result is always the one it would give.
inline bool ParseCsvNumber(std::string_view text, double& out) {
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    uint64_t digits = 0;
    int count = 0;  // digits read, leading zeros included: 19 never overflow 64 bits
    int scale = 0;  // digits after the point
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
        ++count;
        ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        const char* const fraction = p;
        while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
            digits = digits * 10 + static_cast<unsigned>(*p - '0');
            ++count;
            ++p;
        }
        scale = static_cast<int>(p - fraction);
    }
    if (p != end || count == 0 || count > 19 || digits > (uint64_t{1} << 53) || scale > 22) {
        return csvnumber::ParseGeneral(text, out);
    }
    const double value = static_cast<double>(digits) / csvnumber::kExactPowers[scale];
    out = negative ? -value : value;
    return true;
}

}  // namespace qelocal
