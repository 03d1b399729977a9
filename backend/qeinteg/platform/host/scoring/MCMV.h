// The model-scoring library's missing value: the host's system-missing number (the most negative
// finite double). Records hand it over for "no value"; the library hands it back for "no
// prediction".
#pragma once

#include <cmath>
#include <limits>

namespace MCCommon_910 {

class MCMV {
  public:
    static constexpr double Missing() { return -std::numeric_limits<double>::max(); }
    // True for the missing value and for NaN (which no model accepts as a value).
    static bool IsMissing(double value) { return value == Missing() || std::isnan(value); }
};

}  // namespace MCCommon_910
