// Lets the host settle unknown measurement levels of the data source's variables before a procedure
// reads it. The stand-in records which data sources it was given.
#pragma once

#include <vector>

#include "qeinteg/platform/host/data/ProcedureDataSource.h"

void AdjustMeasurementLevels(ProcedureDataSource& source);

namespace qehost {

// The data sources AdjustMeasurementLevels was called with since the last reset, in call order.
std::vector<const ProcedureDataSource*> AdjustMeasurementLevelsCalls();

}  // namespace qehost
