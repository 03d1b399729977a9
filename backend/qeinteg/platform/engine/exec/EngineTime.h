// The local engine's representation of dates and times, and text date/time formats.
//
// Values of temporal storages travel as doubles:
//   date       days since 1970-01-01
//   time       seconds since midnight
//   timestamp  seconds since 1970-01-01T00:00:00
// There is no time zone: values are civil (wall-clock) times. Day counts use the proleptic
// Gregorian calendar, so dates before 1970 are negative.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

struct CivilDate {
    int64_t year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
};

int64_t DaysFromCivil(int64_t year, int month, int day);
CivilDate CivilFromDays(int64_t days);
int DaysInMonth(int64_t year, int month);

// A value of the given temporal storage as seconds since 1970-01-01T00:00:00 (time: since
// midnight of day 0).
double TemporalToSeconds(Storage storage, double value);
// Seconds since the epoch back to a value of the given storage.
double SecondsToTemporal(Storage storage, double seconds);

// ISO texts: "2012-01-31", "13:05:00", "2012-01-31T13:05:00" (fractions of a second are written
// only when present).
std::string FormatDate(double days);
std::string FormatTime(double seconds);
std::string FormatTimestamp(double seconds);
std::string FormatTemporal(Storage storage, double value);

// A date/time text format such as "yyyy/MM/dd HH:mm:ss". Letters: yyyy year (4 digits), MM month
// (2 digits), M month (1-2 digits), MMM English month abbreviation, dd / d day, HH / H hour (0-23),
// mm minute, ss second, SSS fraction of a second (1-9 digits). Text in single quotes and any other
// character stand for themselves.
class DateTimeFormat {
  public:
    // Null when the pattern contains no date or time letters or is malformed.
    static std::optional<DateTimeFormat> Compile(std::string_view pattern);

    // The value as seconds since the epoch; false when `text` does not match the whole pattern or
    // names an impossible date or time.
    bool Parse(std::string_view text, double& seconds) const;

    const std::string& pattern() const { return pattern_; }
    bool hasDate() const { return hasDate_; }
    bool hasTime() const { return hasTime_; }
    // The storage that parsed values naturally have: date, time or timestamp.
    Storage storage() const;

  private:
    enum class Kind {
        Literal,
        Year4,
        Month2,
        Month12,
        MonthName,
        Day2,
        Day12,
        Hour2,
        Hour12,
        Minute2,
        Second2,
        Fraction
    };
    struct Token {
        Kind kind;
        std::string literal;
    };
    std::string pattern_;
    std::vector<Token> tokens_;
    bool hasDate_ = false;
    bool hasTime_ = false;
};

// The formats that detection tries, in order of preference.
const std::vector<std::string>& KnownDateTimePatterns();

// The first known format that parses at least nine in ten of `samples` (and at least one), the
// format parsing the most samples winning; null when none does. Empty samples are ignored.
std::optional<DateTimeFormat> DetectDateTimeFormat(const std::vector<std::string>& samples);

}  // namespace qelocal
