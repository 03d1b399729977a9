#include "qeinteg/output/PivotCellFormat.h"

#include <algorithm>
#include <string>

#include "qeinteg/output/OutputJson.h"
#include "qeinteg/platform/host/text/HostFormat.h"

namespace qeinteg::output {
namespace {

bool HasH(const std::string& s) {
    return s.find_first_of("hH") != std::string::npos;
}

// Date formats count seconds from the host's origin; the engine counts from 1970-01-01. Weekday and
// month formats hold plain 1-7 and 1-12 numbers, which must not be moved.
bool ShiftsDate(int type, double value) {
    switch (type) {
        case 20:
        case 22:
        case 23:
        case 24:
        case 28:
        case 29:
        case 30:
        case 38:
        case 39:
        case 86:
            return true;
        case 26:
            return !(value >= 1 && value <= 7);
        case 27:
            return !(value >= 1 && value <= 12);
        default:
            return false;
    }
}

}  // namespace

CellFormat ReadCellFormat(OutputJson& json, jobject format) {
    CellFormat f;
    if (!json.IsObject(format))
        return f;
    if (json.Bool(format, "string", false)) {
        f.format.type = 1;
    } else {
        f.format.type = kFormatTypeGeneral;
        f.format.decimals =
            static_cast<std::uint8_t>(std::clamp(json.Int(format, "decimals", 3), 0, 16));
        const std::string decimal = json.String(format, "decimalSeparator");
        const std::string thousands = json.String(format, "thousandsSeparator");
        if (decimal == "." || thousands == ",")
            f.format.type = 3;
        if (decimal == "," || thousands == ".")
            f.format.type = 32;
        if (json.String(format, "prefix") == "$")
            f.format.type = 4;
        if (json.String(format, "suffix") == "%")
            f.format.type = 31;
        const std::string pattern = json.String(format, "dateTimePattern");
        if (!pattern.empty()) {
            f.format.type = 20;
            switch (pattern[0]) {
                case 'h':
                case 'H':
                    f.format.type = 21;
                    break;
                case 'y':
                case 'Y':
                    f.format.type = 39;
                    break;
                case 'M':
                    f.format.type = 23;
                    break;
                case 'm':
                    f.format.type = 85;
                    break;
                default:
                    if (pattern.find('.') != std::string::npos)
                        f.format.type = 38;
            }
            if (f.format.type == 39 && HasH(pattern))
                f.format.type = 86;
            if ((f.format.type == 38 || f.format.type == 20) && HasH(pattern))
                f.format.type = 22;
        }
    }
    f.missing = json.Bool(format, "positiveInfinity", false) ||
                json.Bool(format, "negativeInfinity", false);
    return f;
}

std::pair<double, PnFormatSpec> DisplayedNumber(double value, CellFormat f) {
    if (f.format.type == kFormatTypeNone)
        f.format.type = kFormatTypeGeneral;
    if (ShiftsDate(f.format.type, value))
        value += qehost::kDateOriginShift;
    if (f.missing)
        value = qehost::SysMis();
    return {value, f.format};
}

double HostValueForType(int type, double value) {
    switch (type) {
        case 20:
        case 22:
        case 23:
        case 24:
        case 28:
        case 29:
        case 30:
        case 38:
        case 39:
        case 86:
            return value * 86400 + qehost::kDateOriginShift;
        case 26:
            return value >= 1 && value <= 7 ? value : value * 86400 + qehost::kDateOriginShift;
        case 27:
            return value >= 1 && value <= 12 ? value : value * 86400 + qehost::kDateOriginShift;
        default:
            return value;
    }
}

}  // namespace qeinteg::output
