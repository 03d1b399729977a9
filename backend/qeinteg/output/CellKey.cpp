#include "qeinteg/output/CellKey.h"

#include <array>
#include <limits>

namespace qeinteg::output {
namespace {

const std::array<int, 256>& DigitValues() {
    static const std::array<int, 256> values = [] {
        std::array<int, 256> v{};
        v.fill(-1);
        const std::string& digits = KeyDigits();
        for (std::size_t i = 0; i < digits.size(); ++i) {
            v[static_cast<unsigned char>(digits[i])] = static_cast<int>(i);
        }
        return v;
    }();
    return values;
}

}  // namespace

const std::string& KeyDigits() {
    static const std::string digits =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ %&()+,-./:;<=>?@[]^_`|~";
    return digits;
}

std::uint64_t KeyWidth(std::uint64_t leafCount) {
    std::uint64_t width = 1;
    // 86^width, stopping before it could overflow (86^9 already exceeds any 64-bit leaf count
    // that could be held in memory).
    std::uint64_t capacity = kKeyBase;
    while (capacity < leafCount && width < 10) {
        capacity *= kKeyBase;
        ++width;
    }
    return width;
}

std::string EncodeKeyField(std::uint64_t value, std::uint64_t width) {
    std::string out;
    do {
        out.insert(out.begin(), KeyDigits()[value % kKeyBase]);
        value /= kKeyBase;
    } while (value > 0);
    if (out.size() < width)
        out.insert(0, width - out.size(), '0');
    return out;
}

std::optional<std::uint64_t> DecodeKeyField(const std::string& field) {
    std::uint64_t value = 0;
    for (char c : field) {
        const int digit = DigitValues()[static_cast<unsigned char>(c)];
        if (digit < 0)
            return std::nullopt;
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / kKeyBase) {
            return std::nullopt;
        }
        value = value * kKeyBase + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace qeinteg::output
