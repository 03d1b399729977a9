#include "qeinteg/platform/host/text/HostFormat.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace qehost {
namespace {

constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Days from 1582-10-14 to 1970-01-01.
constexpr std::int64_t kOriginDays = 141428;
// Beyond this no date can be shown (and day arithmetic would overflow).
constexpr double kMaxDateSeconds = 1e13;

struct Civil {
    std::int64_t year;
    int month;  // 1..12
    int day;    // 1..31
};

// Proleptic Gregorian date of a day count relative to 1970-01-01.
Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool IsLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DayOfYear(const Civil& c) {
    static constexpr int kCumulative[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return kCumulative[c.month - 1] + c.day + (c.month > 2 && IsLeap(c.year) ? 1 : 0);
}

std::string Printf(const char* format, auto... args) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

// Digits of |value| with `decimals` places, grouped by `group` (0 for none), `point` as separator.
std::string Grouped(double value, int decimals, char group, char point) {
    std::string digits = Printf("%.*f", decimals, std::fabs(value));
    std::string::size_type dot = digits.find('.');
    std::string whole = digits.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : digits.substr(dot + 1);
    std::string out;
    if (group != 0) {
        const int n = static_cast<int>(whole.size());
        for (int i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0)
                out += group;
            out += whole[static_cast<std::size_t>(i)];
        }
    } else {
        out = whole;
    }
    if (!fraction.empty()) {
        out += point;
        out += fraction;
    }
    return out;
}

// True when `value` rounded to `decimals` places is zero, so that no "-0" appears.
bool RoundsToZero(double value, int decimals) {
    return std::fabs(value) < 0.5 * std::pow(10.0, -decimals);
}

std::string Number(double value, int decimals, char group, char point, const char* prefix,
                   const char* suffix) {
    const bool negative = value < 0 && !RoundsToZero(value, decimals);
    return std::string(negative ? "-" : "") + prefix + Grouped(value, decimals, group, point) +
           suffix;
}

// Seconds of the day (or of a duration) as h:mm:ss[.fff].
std::string Clock(double seconds, int decimals, bool withSeconds, bool padHours) {
    const bool negative = seconds < 0;
    double s = std::fabs(seconds);
    const double scale = std::pow(10.0, decimals);
    s = std::round(s * scale) / scale;
    const auto whole = static_cast<std::int64_t>(std::floor(s));
    const double fraction = s - static_cast<double>(whole);
    std::string out = negative ? "-" : "";
    const std::int64_t hours = whole / 3600;
    const int minutes = static_cast<int>(whole / 60 % 60);
    out += padHours ? Printf("%02lld", static_cast<long long>(hours))
                    : Printf("%lld", static_cast<long long>(hours));
    out += Printf(":%02d", minutes);
    if (withSeconds) {
        out += Printf(":%02d", static_cast<int>(whole % 60));
        if (decimals > 0) {
            std::string f = Printf("%.*f", decimals, fraction);
            out += f.substr(1);  // drop the leading "0"
        }
    }
    return out;
}

std::string DateText(double seconds, int type, int decimals) {
    if (seconds < 0 || seconds > kMaxDateSeconds)
        return "*";
    const double scale = std::pow(10.0, IsTimestampFormat(type) ? decimals : 0);
    const double rounded = std::round(seconds * scale) / scale;
    const auto days = static_cast<std::int64_t>(std::floor(rounded / 86400.0));
    const double secondsOfDay = rounded - static_cast<double>(days) * 86400.0;
    const Civil c = CivilFromDays(days - kOriginDays);
    if (c.year > 9999)
        return "*";
    const long long y = static_cast<long long>(c.year);
    switch (static_cast<FormatType>(type)) {
        case FormatType::Date:
            return Printf("%02d-%s-%04lld", c.day, kMonths[c.month - 1], y);
        case FormatType::DateTime:
            return Printf("%02d-%s-%04lld ", c.day, kMonths[c.month - 1], y) +
                   Clock(secondsOfDay, decimals, true, true);
        case FormatType::ADate:
            return Printf("%02d/%02d/%04lld", c.month, c.day, y);
        case FormatType::JDate:
            return Printf("%04lld%03d", y, DayOfYear(c));
        case FormatType::MoYear:
            return Printf("%s %04lld", kMonths[c.month - 1], y);
        case FormatType::QYear:
            return Printf("%d Q %04lld", (c.month - 1) / 3 + 1, y);
        case FormatType::WkYear:
            return Printf("%d WK %04lld", (DayOfYear(c) - 1) / 7 + 1, y);
        case FormatType::EDate:
            return Printf("%02d.%02d.%04lld", c.day, c.month, y);
        case FormatType::SDate:
            return Printf("%04lld/%02d/%02d", y, c.month, c.day);
        case FormatType::YmdHms:
            return Printf("%04lld-%02d-%02d ", y, c.month, c.day) +
                   Clock(secondsOfDay, decimals, true, true);
        default:
            return "*";
    }
}

}  // namespace

double SysMis() {
    return -DBL_MAX;
}

bool IsDateType(int type) {
    return IsDateFormat(type);
}

bool IsTimeType(int type) {
    return IsTimeFormat(type);
}

std::string FormatNumber(double value, const PnFormatSpec& format) {
    if (value == SysMis())
        return ".";
    if (!std::isfinite(value))
        return "*";
    const int d = format.decimals > 16 ? 16 : format.decimals;
    const int type = format.type;
    if (IsDateType(type))
        return DateText(value, type, d);
    switch (static_cast<FormatType>(type)) {
        case FormatType::Comma:
            return Number(value, d, ',', '.', "", "");
        case FormatType::Dollar:
            return Number(value, d, ',', '.', "$", "");
        case FormatType::Scientific: {
            std::string s = Printf("%.*E", d, value);
            return s;
        }
        case FormatType::Time:
            return Clock(value, d, true, false);
        case FormatType::DTime: {
            const double whole = std::fabs(value);
            const auto days = static_cast<long long>(std::floor(whole / 86400.0));
            return std::string(value < 0 ? "-" : "") + Printf("%lld ", days) +
                   Clock(whole - static_cast<double>(days) * 86400.0, d, true, true);
        }
        case FormatType::WeekDay: {
            const double v = std::floor(value);
            if (v < 1 || v > 7)
                return "*";
            return kWeekdays[static_cast<int>(v) - 1];
        }
        case FormatType::Month: {
            const double v = std::floor(value);
            if (v < 1 || v > 12)
                return "*";
            return kMonthNames[static_cast<int>(v) - 1];
        }
        case FormatType::Percent:
            return Number(value, d, 0, '.', "", "%");
        case FormatType::Dot:
            return Number(value, d, '.', ',', "", "");
        case FormatType::MTime: {
            const bool negative = value < 0;
            const double scale = std::pow(10.0, d);
            const double s = std::round(std::fabs(value) * scale) / scale;
            const auto whole = static_cast<long long>(std::floor(s));
            std::string out = Printf("%s%02lld:%02d", negative ? "-" : "", whole / 60,
                                     static_cast<int>(whole % 60));
            if (d > 0)
                out += Printf("%.*f", d, s - static_cast<double>(whole)).substr(1);
            return out;
        }
        case FormatType::General:
        case FormatType::None:
            // General: the given decimals, or when none are given as many as the value needs.
            if (d == 0 && value != std::floor(value)) {
                std::string s = Printf("%.15g", value);
                if (s.find('e') == std::string::npos)
                    return s;
            }
            if (std::fabs(value) >= 1e15)
                return Printf("%.*E", d > 0 ? d : 3, value);
            return Number(value, d, 0, '.', "", "");
        default:  // string, fixed and anything unknown: fixed notation
            if (std::fabs(value) >= 1e15)
                return Printf("%.*E", d > 0 ? d : 3, value);
            return Number(value, d, 0, '.', "", "");
    }
}

std::string ValueToText(double value, const PnFormatSpec& format) {
    std::string text = FormatNumber(value, format);
    if (text.size() < format.width)
        text.insert(0, format.width - text.size(), ' ');
    return text;
}

}  // namespace qehost
