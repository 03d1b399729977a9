#include "qeinteg/platform/host/PnDataValue.h"

#include "qeinteg/platform/host/HostFormat.h"

std::unique_ptr<PnCellText> PnDataValue::Clone() const {
    return std::make_unique<PnDataValue>(*this);
}

std::string PnDataValue::Text() const {
    return isString_ ? string_ : qehost::FormatNumber(number_, {40, 40, 0});
}
