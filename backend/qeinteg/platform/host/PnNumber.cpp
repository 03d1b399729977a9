#include "qeinteg/platform/host/PnNumber.h"

#include "qeinteg/platform/host/HostFormat.h"

std::unique_ptr<PnCellText> PnNumber::Clone() const {
    return std::make_unique<PnNumber>(*this);
}

std::string PnNumber::Text() const {
    return qehost::FormatNumber(value_, format_);
}
