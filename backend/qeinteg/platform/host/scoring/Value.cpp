#include "qeinteg/platform/host/scoring/Value.h"

#include "qeinteg/platform/host/scoring/MCMV.h"

namespace MCCommon_910 {

double Value::GetDouble() const {
    switch (type_) {
        case Double:
            return number_;
        case Integer:
            return static_cast<double>(integer_);
        default:
            return MCMV::Missing();
    }
}

int64_t Value::GetInteger() const {
    switch (type_) {
        case Integer:
            return integer_;
        case Double:
            return static_cast<int64_t>(number_);
        default:
            return 0;
    }
}

void Value::SetDouble(double number) {
    if (MCMV::IsMissing(number)) {
        type_ = Missing;
        return;
    }
    type_ = Double;
    number_ = number;
}

}  // namespace MCCommon_910
