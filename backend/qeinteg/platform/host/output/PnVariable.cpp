#include "qeinteg/platform/host/output/PnVariable.h"

#include "qeinteg/platform/host/data/ProcedureDataSource.h"

std::unique_ptr<PnCellText> PnVariable::Clone() const {
    return std::make_unique<PnVariable>(*this);
}

std::string PnVariable::Text() const {
    const auto data = ProcedureDataSource::ActiveDataset();
    if (data == nullptr || mode_ == 0)
        return name_;
    const int index = data->FindVarIndex(name_, 0);
    if (index < 0)
        return name_;
    const std::string& label = data->GetVariable(index).GetLabel();
    return label.empty() ? name_ : label;
}
