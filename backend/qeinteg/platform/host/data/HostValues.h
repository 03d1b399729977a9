// Values that cross between the host and the library.
#pragma once

#include <limits>

// One case value: a number, or the first eight bytes of a string (longer strings take several
// consecutive values).
union OBS {
    double f;
    char s[8];
};
static_assert(sizeof(OBS) == 8, "a case value is eight bytes");

// The system-missing number: the most negative finite double.
inline constexpr double SYSMIS = -std::numeric_limits<double>::max();

#include <cstdint>

// Identifies a dataset of the host's data server; all bits set means "no dataset".
struct LocallyUniqueID {
    uint64_t high = ~uint64_t{0};
    uint64_t low = ~uint64_t{0};

    static constexpr LocallyUniqueID None() { return LocallyUniqueID{}; }
    constexpr bool IsNone() const { return high == ~uint64_t{0} && low == ~uint64_t{0}; }
    friend constexpr bool operator==(const LocallyUniqueID&, const LocallyUniqueID&) = default;
    friend constexpr bool operator<(const LocallyUniqueID& a, const LocallyUniqueID& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
};
