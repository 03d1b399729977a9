#include "qeinteg/platform/host/output/PnNumber.h"

#include "qeinteg/platform/host/text/HostFormat.h"

std::unique_ptr<PnCellText> PnNumber::Clone() const {
    return std::make_unique<PnNumber>(*this);
}

std::string PnNumber::Text() const {
    return qehost::FormatNumber(value_, format_);
}
