// What the host keeps of a cell text handed to it.
#pragma once

#include "qeinteg/platform/host/output/PivotRecord.h"

class PnCellText;

namespace qehost {

TextRecord RecordOf(const PnCellText& text);

// The record of PnNumber(value, format).
TextRecord NumberRecord(double value, const PnFormatSpec& format);

// RecordOf(text) == record, without making the record for the texts builders name over and over
// (category labels).
bool SameRecord(const TextRecord& record, const PnCellText& text);

// The arguments a text was made from, as name and text pairs (numbers written out).
std::vector<std::pair<std::string, std::string>> Arguments(const TextRecord& record);

}  // namespace qehost
