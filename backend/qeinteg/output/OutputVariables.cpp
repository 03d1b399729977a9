#include "qeinteg/output/OutputVariables.h"

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/data/TAVO_ValueLabelMap.h"

namespace qeinteg::output {
namespace {

const TAVO_Variable* Lookup(const ProcedureDataSource* dataSource, const std::string& name) {
    if (dataSource == nullptr || name.empty())
        return nullptr;
    // Documents name variables in UTF-8; the host's dictionary is in its code page.
    const int index = dataSource->FindVarIndex(transcodeFromUTF8(name.c_str()), 0);
    return index < 0 ? nullptr : &dataSource->GetVariable(index);
}

}  // namespace

HostVariable FindVariable(const ProcedureDataSource* dataSource, const std::string& name) {
    const TAVO_Variable* variable = Lookup(dataSource, name);
    if (variable == nullptr)
        return {};
    HostVariable out;
    out.found = true;
    out.isString = variable->GetType() > 0;
    out.label = transcodeToUTF8(
        (variable->GetLabel().empty() ? variable->GetName() : variable->GetLabel()).c_str());
    const TAVO_Format& format = variable->GetFormat();
    out.format = PnFormatSpec(format.width, format.type, format.decimals);
    return out;
}

std::string VariableValueLabel(const ProcedureDataSource* dataSource, const std::string& name,
                               double value) {
    const TAVO_Variable* variable = Lookup(dataSource, name);
    if (variable == nullptr)
        return {};
    const char* label = TAVO_ValueLabelMap(*variable).Lookup(value);
    return label == nullptr ? std::string() : transcodeToUTF8(label);
}

}  // namespace qeinteg::output
