// Cell formats of output table documents: the format object of a number or cell as a host format,
// and the value and format a number is finally shown with.
#pragma once

#include <jni.h>

#include <cstdint>
#include <utility>

#include "qeinteg/java/jni/PackedJson.h"
#include "qeinteg/platform/host/output/PnFormatSpec.h"
#include "qeinteg/platform/host/text/FormatType.h"

namespace qeinteg::output {

class OutputJson;

// "No format given" (shown as general) and "general number".
inline constexpr std::uint8_t kFormatTypeNone = qehost::Code(qehost::FormatType::None);
inline constexpr std::uint8_t kFormatTypeGeneral = qehost::Code(qehost::FormatType::General);

struct CellFormat {
    PnFormatSpec format{40, kFormatTypeNone, 0};
    bool missing = false;  // infinities are shown as missing
};

// The host format of a format object; a node that is not an object gives "no format".
CellFormat ReadCellFormat(OutputJson& json, jobject format);
// The same from a packed copy of the format object.
CellFormat ReadCellFormat(qeinteg::jni::PackedJson::Node format);

// The value and format a number is shown with: general for no format, the shift of date formats
// to the host's origin, and infinity as missing.
std::pair<double, PnFormatSpec> DisplayedNumber(double value, CellFormat f);

// A value in days (or seconds, for time types) as the host stores it for a format type.
double HostValueForType(int type, double value);

}  // namespace qeinteg::output
