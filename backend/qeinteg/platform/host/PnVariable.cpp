#include "qeinteg/platform/host/PnVariable.h"

std::unique_ptr<PnCellText> PnVariable::Clone() const {
    return std::make_unique<PnVariable>(*this);
}
