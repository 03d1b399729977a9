#include "qeinteg/platform/host/output/PnDataValue.h"

#include "qeinteg/platform/host/text/HostFormat.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/data/TAVO_ValueLabelMap.h"

std::unique_ptr<PnCellText> PnDataValue::Clone() const {
    return std::make_unique<PnDataValue>(*this);
}

std::string PnDataValue::Text() const {
    const auto data = ProcedureDataSource::ActiveDataset();
    const int index = data == nullptr ? -1 : data->FindVarIndex(variable_, 0);
    if (index < 0)
        return isString_ ? string_ : qehost::FormatNumber(number_, {40, 40, 0});
    const TAVO_Variable& variable = data->GetVariable(index);
    if (mode_ != 0) {
        const TAVO_ValueLabelMap labels(variable);
        const char* label = isString_ ? labels.Lookup(string_) : labels.Lookup(number_);
        if (label != nullptr)
            return label;
    }
    if (isString_)
        return string_;
    const TAVO_Format& f = variable.GetFormat();
    return qehost::FormatNumber(number_, PnFormatSpec(f.width, f.type, f.decimals));
}
