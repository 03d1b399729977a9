// What the host keeps of a cell text handed to it.
#pragma once

#include "qeinteg/platform/host/PivotRecord.h"

class PnCellText;

namespace qehost {

TextRecord RecordOf(const PnCellText& text);

}  // namespace qehost
