// What the host keeps of a cell text handed to it.
#pragma once

#include "qeinteg/platform/host/output/PivotRecord.h"

class PnCellText;

namespace qehost {

TextRecord RecordOf(const PnCellText& text);

// The arguments a text was made from, as name and text pairs (numbers written out).
std::vector<std::pair<std::string, std::string>> Arguments(const TextRecord& record);

}  // namespace qehost
