// Numeric helpers of the model-scoring library.
#pragma once

namespace MCMath_910 {

class MCMathFun {
  public:
    // True for a finite number that is not the library's missing value.
    static bool IsValidDouble(double value);
};

}  // namespace MCMath_910
