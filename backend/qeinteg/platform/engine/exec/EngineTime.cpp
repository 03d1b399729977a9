#include "qeinteg/platform/engine/exec/EngineTime.h"

#include <cmath>
#include <cstdio>

namespace qelocal {

namespace {

constexpr double kSecondsPerDay = 86400.0;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads between `minDigits` and `maxDigits` digits at `pos`.
bool ReadNumber(std::string_view text, size_t& pos, int minDigits, int maxDigits, int64_t& out) {
    int n = 0;
    int64_t value = 0;
    while (pos < text.size() && n < maxDigits && IsDigit(text[pos])) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++n;
    }
    if (n < minDigits)
        return false;
    out = value;
    return true;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* const kMonthNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};

// Splits a day's seconds into the text "HH:mm:ss[.fff]".
std::string TimeOfDayText(double secondsOfDay) {
    double whole = std::floor(secondsOfDay);
    double fraction = secondsOfDay - whole;
    auto s = static_cast<int64_t>(whole);
    char buffer[48];
    int n = std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                          static_cast<int>((s / 60) % 60), static_cast<int>(s % 60));
    std::string text(buffer, static_cast<size_t>(n));
    if (fraction > 5e-7) {
        char frac[16];
        std::snprintf(frac, sizeof frac, "%.6f", fraction);
        std::string digits(frac + 1);  // ".dddddd"
        while (!digits.empty() && digits.back() == '0')
            digits.pop_back();
        text += digits;
    }
    return text;
}

}  // namespace

int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = yoe + era * 400 + (date.month <= 2 ? 1 : 0);
    return date;
}

int DaysInMonth(int64_t year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return kDays[month - 1];
}

double TemporalToSeconds(Storage storage, double value) {
    return storage == Storage::Date ? value * kSecondsPerDay : value;
}

double SecondsToTemporal(Storage storage, double seconds) {
    return storage == Storage::Date ? seconds / kSecondsPerDay : seconds;
}

std::string FormatDate(double days) {
    const CivilDate d = CivilFromDays(static_cast<int64_t>(std::floor(days)));
    char buffer[40];
    int n = std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d", static_cast<long long>(d.year),
                          d.month, d.day);
    return std::string(buffer, static_cast<size_t>(n));
}

std::string FormatTime(double seconds) {
    double days = std::floor(seconds / kSecondsPerDay);
    return TimeOfDayText(seconds - days * kSecondsPerDay);
}

std::string FormatTimestamp(double seconds) {
    const double days = std::floor(seconds / kSecondsPerDay);
    return FormatDate(days) + "T" + TimeOfDayText(seconds - days * kSecondsPerDay);
}

std::string FormatTemporal(Storage storage, double value) {
    switch (storage) {
        case Storage::Date:
            return FormatDate(value);
        case Storage::Time:
            return FormatTime(value);
        default:
            return FormatTimestamp(value);
    }
}

std::optional<DateTimeFormat> DateTimeFormat::Compile(std::string_view pattern) {
    DateTimeFormat format;
    format.pattern_ = std::string(pattern);
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && pattern[i + n] == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'') {
            size_t end = pattern.find('\'', i + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            format.tokens_.push_back(
                {Kind::Literal, std::string(pattern.substr(i + 1, end - i - 1))});
            i = end + 1;
            continue;
        }
        size_t n = run(c);
        Kind kind;
        switch (c) {
            case 'y':
                if (n != 4)
                    return std::nullopt;
                kind = Kind::Year4;
                format.hasDate_ = true;
                break;
            case 'M':
                if (n > 3)
                    return std::nullopt;
                kind = n == 3 ? Kind::MonthName : (n == 2 ? Kind::Month2 : Kind::Month12);
                format.hasDate_ = true;
                break;
            case 'd':
                if (n > 2)
                    return std::nullopt;
                kind = n == 2 ? Kind::Day2 : Kind::Day12;
                format.hasDate_ = true;
                break;
            case 'H':
                if (n > 2)
                    return std::nullopt;
                kind = n == 2 ? Kind::Hour2 : Kind::Hour12;
                format.hasTime_ = true;
                break;
            case 'm':
                if (n != 2)
                    return std::nullopt;
                kind = Kind::Minute2;
                format.hasTime_ = true;
                break;
            case 's':
                if (n != 2)
                    return std::nullopt;
                kind = Kind::Second2;
                format.hasTime_ = true;
                break;
            case 'S':
                kind = Kind::Fraction;
                format.hasTime_ = true;
                break;
            default:
                format.tokens_.push_back({Kind::Literal, std::string(1, c)});
                ++i;
                continue;
        }
        format.tokens_.push_back({kind, {}});
        i += n;
    }
    if (!format.hasDate_ && !format.hasTime_)
        return std::nullopt;
    return format;
}

Storage DateTimeFormat::storage() const {
    if (hasDate_ && hasTime_)
        return Storage::Timestamp;
    return hasDate_ ? Storage::Date : Storage::Time;
}

bool DateTimeFormat::Parse(std::string_view text, double& seconds) const {
    int64_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    double fraction = 0.0;
    size_t pos = 0;
    for (const Token& token : tokens_) {
        switch (token.kind) {
            case Kind::Literal:
                if (text.substr(pos, token.literal.size()) != token.literal)
                    return false;
                pos += token.literal.size();
                break;
            case Kind::Year4:
                if (!ReadNumber(text, pos, 4, 4, year))
                    return false;
                break;
            case Kind::Month2:
                if (!ReadNumber(text, pos, 2, 2, month))
                    return false;
                break;
            case Kind::Month12:
                if (!ReadNumber(text, pos, 1, 2, month))
                    return false;
                break;
            case Kind::MonthName: {
                if (pos + 3 > text.size())
                    return false;
                month = 0;
                for (int k = 0; k < 12; ++k) {
                    if (Lower(text[pos]) == kMonthNames[k][0] &&
                        Lower(text[pos + 1]) == kMonthNames[k][1] &&
                        Lower(text[pos + 2]) == kMonthNames[k][2]) {
                        month = k + 1;
                    }
                }
                if (month == 0)
                    return false;
                pos += 3;
                break;
            }
            case Kind::Day2:
                if (!ReadNumber(text, pos, 2, 2, day))
                    return false;
                break;
            case Kind::Day12:
                if (!ReadNumber(text, pos, 1, 2, day))
                    return false;
                break;
            case Kind::Hour2:
                if (!ReadNumber(text, pos, 2, 2, hour))
                    return false;
                break;
            case Kind::Hour12:
                if (!ReadNumber(text, pos, 1, 2, hour))
                    return false;
                break;
            case Kind::Minute2:
                if (!ReadNumber(text, pos, 2, 2, minute))
                    return false;
                break;
            case Kind::Second2:
                if (!ReadNumber(text, pos, 2, 2, second))
                    return false;
                break;
            case Kind::Fraction: {
                double scale = 0.1;
                size_t start = pos;
                while (pos < text.size() && IsDigit(text[pos]) && pos - start < 9) {
                    fraction += (text[pos] - '0') * scale;
                    scale /= 10;
                    ++pos;
                }
                if (pos == start)
                    return false;
                break;
            }
        }
    }
    if (pos != text.size())
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, static_cast<int>(month))) {
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    const double dayCount = hasDate_ ? static_cast<double>(DaysFromCivil(
                                           year, static_cast<int>(month), static_cast<int>(day)))
                                     : 0.0;
    seconds = dayCount * kSecondsPerDay + static_cast<double>(hour * 3600 + minute * 60 + second) +
              fraction;
    return true;
}

const std::vector<std::string>& KnownDateTimePatterns() {
    static const std::vector<std::string> kPatterns = {
        "yyyy-MM-dd",
        "yyyy-MM-dd'T'HH:mm:ss",
        "yyyy-MM-dd'T'HH:mm:ss.SSS",
        "yyyy-MM-dd'T'HH:mm:ss'Z'",
        "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'",
        "yyyy-MM-dd'T'HH:mm",
        "yyyy-MM-dd HH:mm:ss",
        "yyyy-MM-dd HH:mm:ss.SSS",
        "yyyy-MM-dd HH:mm",
        "yyyy/MM/dd HH:mm:ss",
        "yyyy/MM/dd HH:mm",
        "yyyy/MM/dd",
        "MMM d yyyy",
        "MMM d, yyyy",
        "d MMM yyyy",
        "MM/dd/yyyy HH:mm:ss",
        "MM/dd/yyyy",
        "dd/MM/yyyy",
        "dd.MM.yyyy",
        "yyyy-MM",
        "HH:mm:ss",
        "HH:mm",
    };
    return kPatterns;
}

std::optional<DateTimeFormat> DetectDateTimeFormat(const std::vector<std::string>& samples) {
    size_t nonEmpty = 0;
    for (const std::string& s : samples)
        nonEmpty += s.empty() ? 0 : 1;
    if (nonEmpty == 0)
        return std::nullopt;
    std::optional<DateTimeFormat> best;
    size_t bestCount = 0;
    for (const std::string& pattern : KnownDateTimePatterns()) {
        std::optional<DateTimeFormat> format = DateTimeFormat::Compile(pattern);
        size_t parsed = 0;
        double ignored = 0;
        for (const std::string& s : samples) {
            if (!s.empty() && format->Parse(s, ignored))
                ++parsed;
        }
        if (parsed > bestCount) {
            best = std::move(format);
            bestCount = parsed;
            if (parsed == nonEmpty)
                break;
        }
    }
    if (bestCount * 10 < nonEmpty * 9)
        return std::nullopt;
    return best;
}

}  // namespace qelocal
