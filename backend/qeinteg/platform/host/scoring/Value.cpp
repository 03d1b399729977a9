#include "qeinteg/platform/host/scoring/Value.h"

#include "qeinteg/platform/host/scoring/MCMV.h"

namespace MCCommon_910 {

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

}  // namespace MCCommon_910
