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
