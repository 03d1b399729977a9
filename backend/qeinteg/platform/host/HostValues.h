// Values that cross between the host and its callers: case values, the system-missing number and
// dataset identifiers.
#pragma once

#include <cfloat>
#include <cstdint>

// One slot of a case: a number, or eight bytes of a string. A string variable of width w spans
// ceil(w / 8) consecutive slots.
union OBS {
    double num;
    char str[8];
};
static_assert(sizeof(OBS) == 8, "a case slot is eight bytes");

// The host's system-missing value: the most negative finite double.
inline constexpr double kSysMis = -DBL_MAX;

// Identifies a dataset of the host's server; all bits set means "no dataset".
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
