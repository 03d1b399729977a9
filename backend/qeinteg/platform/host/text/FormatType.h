// The type codes of the host's display formats: the second byte of a format in the host's
// dictionary (PnFormatSpec, TAVO_Format). Values are the host's own and are stored in files, so
// they never change.
#pragma once

namespace qehost {

enum class FormatType : int {
    String = 1,       // A: text
    HexString = 2,    // AHEX: text shown as hexadecimal
    Comma = 3,        // 1,234.50
    Dollar = 4,       // $1,234.50
    Fixed = 5,        // 1234.50
    Scientific = 17,  // 1.23E+03
    Date = 20,        // dd-mmm-yyyy
    Time = 21,        // hh:mm:ss
    DateTime = 22,    // dd-mmm-yyyy hh:mm:ss
    ADate = 23,       // mm/dd/yyyy
    JDate = 24,       // yyyyddd
    DTime = 25,       // dd hh:mm:ss
    WeekDay = 26,     // weekday (1-7)
    Month = 27,       // month (1-12)
    MoYear = 28,      // mmm yyyy
    QYear = 29,       // q Q yyyy
    WkYear = 30,      // ww WK yyyy
    Percent = 31,     // 12.5%
    Dot = 32,         // 1.234,50
    EDate = 38,       // dd.mm.yyyy
    SDate = 39,       // yyyy/mm/dd
    General = 40,     // as many decimals as the value needs
    MTime = 85,       // mm:ss
    YmdHms = 86,      // yyyy-mm-dd hh:mm:ss
    None = 255,       // no format: shown as general
};

constexpr int Code(FormatType type) {
    return static_cast<int>(type);
}

// True for the types whose values are points in time (seconds since the host's date origin).
constexpr bool IsDateFormat(int type) {
    switch (static_cast<FormatType>(type)) {
        case FormatType::Date:
        case FormatType::DateTime:
        case FormatType::ADate:
        case FormatType::JDate:
        case FormatType::MoYear:
        case FormatType::QYear:
        case FormatType::WkYear:
        case FormatType::EDate:
        case FormatType::SDate:
        case FormatType::YmdHms:
            return true;
        default:
            return false;
    }
}

// True for the types that show a duration or a time of day (seconds).
constexpr bool IsTimeFormat(int type) {
    switch (static_cast<FormatType>(type)) {
        case FormatType::Time:
        case FormatType::DTime:
        case FormatType::MTime:
            return true;
        default:
            return false;
    }
}

// True for the types that carry both a date and a time of day.
constexpr bool IsTimestampFormat(int type) {
    return type == Code(FormatType::DateTime) || type == Code(FormatType::YmdHms);
}

// True for the text types.
constexpr bool IsStringFormat(int type) {
    return type == Code(FormatType::String) || type == Code(FormatType::HexString);
}

}  // namespace qehost
