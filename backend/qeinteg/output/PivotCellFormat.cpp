#include "qeinteg/output/PivotCellFormat.h"

#include <algorithm>
#include <string>

#include "qeinteg/output/OutputJson.h"
#include "qeinteg/platform/host/text/FormatType.h"
#include "qeinteg/platform/host/text/HostFormat.h"

namespace qeinteg::output {
namespace {

using qehost::Code;
using qehost::FormatType;

bool HasH(const std::string& s) {
    return s.find_first_of("hH") != std::string::npos;
}

// Date formats count seconds from the host's origin; the engine counts from 1970-01-01. Weekday and
// month formats hold plain 1-7 and 1-12 numbers, which must not be moved.
bool ShiftsDate(int type, double value) {
    if (qehost::IsDateFormat(type))
        return true;
    if (type == Code(FormatType::WeekDay))
        return !(value >= 1 && value <= 7);
    if (type == Code(FormatType::Month))
        return !(value >= 1 && value <= 12);
    return false;
}

// The format object's members, read node by node or from a packed copy; both answer alike for
// absent members and members of the wrong kind.
struct NodeMembers {
    OutputJson& json;
    jobject format;
    bool IsObject() const { return json.IsObject(format); }
    bool Bool(const char* key, bool fallback) const { return json.Bool(format, key, fallback); }
    int Int(const char* key, int fallback) const { return json.Int(format, key, fallback); }
    std::string String(const char* key) const { return json.String(format, key); }
};

struct PackedMembers {
    qeinteg::jni::PackedJson::Node format;
    bool IsObject() const { return format.isObject(); }
    // A scalar (number or boolean) member: booleanValue / intValue; anything else the fallback.
    static bool Scalar(qeinteg::jni::PackedJson::Node v) { return v.isNumber() || v.isBool(); }
    bool Bool(const char* key, bool fallback) const {
        const auto v = format.get(key);
        return Scalar(v) ? v.boolValue() : fallback;
    }
    int Int(const char* key, int fallback) const {
        const auto v = format.get(key);
        return Scalar(v) ? v.intValue() : fallback;
    }
    std::string String(const char* key) const { return std::string(format.get(key).text()); }
};

template <typename Members>
CellFormat FormatOf(const Members& json) {
    CellFormat f;
    if (!json.IsObject())
        return f;
    if (json.Bool("string", false)) {
        f.format.type = Code(FormatType::String);
    } else {
        f.format.type = kFormatTypeGeneral;
        f.format.decimals = static_cast<std::uint8_t>(std::clamp(json.Int("decimals", 3), 0, 16));
        const std::string decimal = json.String("decimalSeparator");
        const std::string thousands = json.String("thousandsSeparator");
        if (decimal == "." || thousands == ",")
            f.format.type = Code(FormatType::Comma);
        if (decimal == "," || thousands == ".")
            f.format.type = Code(FormatType::Dot);
        if (json.String("prefix") == "$")
            f.format.type = Code(FormatType::Dollar);
        if (json.String("suffix") == "%")
            f.format.type = Code(FormatType::Percent);
        const std::string pattern = json.String("dateTimePattern");
        if (!pattern.empty()) {
            f.format.type = Code(FormatType::Date);
            switch (pattern[0]) {
                case 'h':
                case 'H':
                    f.format.type = Code(FormatType::Time);
                    break;
                case 'y':
                case 'Y':
                    f.format.type = Code(FormatType::SDate);
                    break;
                case 'M':
                    f.format.type = Code(FormatType::ADate);
                    break;
                case 'm':
                    f.format.type = Code(FormatType::MTime);
                    break;
                default:
                    if (pattern.find('.') != std::string::npos)
                        f.format.type = Code(FormatType::EDate);
            }
            if (f.format.type == Code(FormatType::SDate) && HasH(pattern))
                f.format.type = Code(FormatType::YmdHms);
            if ((f.format.type == Code(FormatType::EDate) ||
                 f.format.type == Code(FormatType::Date)) &&
                HasH(pattern))
                f.format.type = Code(FormatType::DateTime);
        }
    }
    f.missing = json.Bool("positiveInfinity", false) || json.Bool("negativeInfinity", false);
    return f;
}

}  // namespace

CellFormat ReadCellFormat(OutputJson& json, jobject format) {
    return FormatOf(NodeMembers{json, format});
}

CellFormat ReadCellFormat(qeinteg::jni::PackedJson::Node format) {
    return FormatOf(PackedMembers{format});
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
    // Engine dates are days since 1970-01-01; weekday and month numbers stay as they are.
    return ShiftsDate(type, value) ? value * 86400 + qehost::kDateOriginShift : value;
}

}  // namespace qeinteg::output
