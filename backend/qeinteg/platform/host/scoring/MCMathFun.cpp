#include "qeinteg/platform/host/scoring/MCMathFun.h"

#include <cmath>

#include "qeinteg/platform/host/scoring/MCMV.h"

namespace MCMath_910 {

bool MCMathFun::IsValidDouble(double value) {
    return std::isfinite(value) && value != MCCommon_910::MCMV::Missing();
}

}  // namespace MCMath_910
