// The host's number-to-text conversion by format codes (FormatType.h has the codes).
#pragma once

#include <cstdint>
#include <string>

#include "qeinteg/platform/host/output/PnFormatSpec.h"
#include "qeinteg/platform/host/text/FormatType.h"

namespace qehost {

// Seconds from the host's date origin (1582-10-14) to 1970-01-01.
inline constexpr double kDateOriginShift = 12219379200.0;

// The host's system-missing value: the most negative finite double.
double SysMis();

// The number as the host shows it in output: no padding. System-missing gives ".", a value that
// does not fit the format (a date beyond year 9999, a non-finite number) gives "*".
std::string FormatNumber(double value, const PnFormatSpec& format);

// The host's value-to-text conversion: FormatNumber right-aligned in the format's width (texts
// longer than the width are not cut).
std::string ValueToText(double value, const PnFormatSpec& format);

// True for the type codes whose values are points in time (counted from the host's date origin).
bool IsDateType(int type);
// True for the type codes that show a duration or a time of day.
bool IsTimeType(int type);

}  // namespace qehost
