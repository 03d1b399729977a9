// What the output renderers need to know of the host's variables: whether the data source has a
// variable, its preferred label, display format and value labels.
#pragma once

#include <string>

#include "qeinteg/platform/host/output/PnFormatSpec.h"

class ProcedureDataSource;

namespace qeinteg::output {

struct HostVariable {
    bool found = false;
    bool isString = false;
    std::string label;  // the preferred label: the variable label, else the name
    PnFormatSpec format;
};

HostVariable FindVariable(const ProcedureDataSource* dataSource, const std::string& name);
// The variable's label for a value; empty when it has none.
std::string VariableValueLabel(const ProcedureDataSource* dataSource, const std::string& name,
                               double value);

}  // namespace qeinteg::output
