#include "qeinteg/output/OutputVariables.h"

namespace qeinteg::output {

// The host data source is not linked into this build: every variable is looked up in the output
// document's own data dictionary instead.
HostVariable FindVariable(const ProcedureDataSource* /*dataSource*/, const std::string& /*name*/) {
    return {};
}

std::string VariableValueLabel(const ProcedureDataSource* /*dataSource*/,
                               const std::string& /*name*/, double /*value*/) {
    return {};
}

}  // namespace qeinteg::output
