#include "qeinteg/platform/engine/io/CsvRowSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/CsvNumber.h"

namespace qelocal {

namespace {

// Records whose values settle the provisional storages.
constexpr uint64_t kSampleRecords = 10000;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsInteger(std::string_view text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size() || text.size() - i > 18)
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

// IsInteger and the number in one pass: the integer columns' every cell.
bool ParseInteger(std::string_view text, double& out) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size() || text.size() - i > 18)
        return false;
    uint64_t value = 0;
    for (size_t k = i; k < text.size(); ++k) {
        const unsigned digit = static_cast<unsigned char>(text[k] - '0');
        if (digit > 9)
            return false;
        value = value * 10 + digit;
    }
    // Conversion rounds to nearest as the general reader does for 17 and 18 digits.
    const double magnitude = static_cast<double>(value);
    out = text[0] == '-' ? -magnitude : magnitude;
    return true;
}

// The value of `count` digits at `p`, or -1 when one of them is no digit.
inline int Digits(const char* p, int count) {
    int value = 0;
    for (int k = 0; k < count; ++k) {
        const unsigned digit = static_cast<unsigned char>(p[k] - '0');
        if (digit > 9)
            return -1;
        value = value * 10 + static_cast<int>(digit);
    }
    return value;
}

// "yyyy-MM-dd" as days since 1970-01-01. A shortcut of the ISO date format for the one layout
// that nearly every date column has; false leaves the text to the format.
bool QuickIsoDays(std::string_view text, int64_t& days) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return false;
    const char* p = text.data();
    const int year = Digits(p, 4);
    const int month = Digits(p + 5, 2);
    const int day = Digits(p + 8, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    days = DaysFromCivil(year, month, day);
    return true;
}

using DayMemo = CsvRowSource::DayMemo;

// QuickIsoDays of the first ten bytes of `text`, remembered in `memo` (when given) for the next
// value: a sorted timestamp column repeats each date for many values.
bool MemoIsoDays(std::string_view text, int64_t& days, DayMemo* memo) {
    if (memo != nullptr && memo->set && std::memcmp(memo->date, text.data(), 10) == 0) {
        days = memo->days;
        return true;
    }
    if (!QuickIsoDays(text, days))
        return false;
    if (memo != nullptr) {
        std::memcpy(memo->date, text.data(), 10);
        memo->days = days;
        memo->set = true;
    }
    return true;
}

// "yyyy-MM-dd HH:mm:ss" and "yyyy-MM-dd'T'HH:mm:ss" as seconds, computed as the formats do.
bool QuickIsoTimestamp(std::string_view text, double& seconds, DayMemo* memo = nullptr) {
    int64_t days = 0;
    if (text.size() != 19 || (text[10] != ' ' && text[10] != 'T') || text[13] != ':' ||
        text[16] != ':' || !MemoIsoDays(text, days, memo)) {
        return false;
    }
    const char* p = text.data();
    const int hour = Digits(p + 11, 2);
    const int minute = Digits(p + 14, 2);
    const int second = Digits(p + 17, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    seconds = static_cast<double>(days) * 86400.0 +
              static_cast<double>(hour * 3600 + minute * 60 + second);
    return true;
}

const DateTimeFormat& IsoDate() {
    static const DateTimeFormat f = *DateTimeFormat::Compile("yyyy-MM-dd");
    return f;
}

const std::vector<DateTimeFormat>& IsoTimestamps() {
    static const std::vector<DateTimeFormat> formats = [] {
        std::vector<DateTimeFormat> out;
        for (const char* p :
             {"yyyy-MM-dd'T'HH:mm:ss", "yyyy-MM-dd'T'HH:mm:ss.SSS", "yyyy-MM-dd HH:mm:ss",
              "yyyy-MM-dd HH:mm:ss.SSS", "yyyy-MM-dd'T'HH:mm", "yyyy-MM-dd HH:mm"}) {
            out.push_back(*DateTimeFormat::Compile(p));
        }
        return out;
    }();
    return formats;
}

const std::vector<DateTimeFormat>& IsoTimes() {
    static const std::vector<DateTimeFormat> formats = [] {
        std::vector<DateTimeFormat> out;
        for (const char* p : {"HH:mm:ss", "HH:mm:ss.SSS", "HH:mm"}) {
            out.push_back(*DateTimeFormat::Compile(p));
        }
        return out;
    }();
    return formats;
}

// The first of `formats` that reads `text`, trying the one that read the column's last value
// first: a column keeps its format, so one attempt per value is the rule.
bool ParseAny(const std::vector<DateTimeFormat>& formats, std::string_view text, double& seconds,
              signed char& last) {
    if (last >= 0 && formats[static_cast<size_t>(last)].Parse(text, seconds))
        return true;
    for (size_t k = 0; k < formats.size(); ++k) {
        if (static_cast<signed char>(k) != last && formats[k].Parse(text, seconds)) {
            last = static_cast<signed char>(k);
            return true;
        }
    }
    return false;
}

// A timestamp in the ISO formats, the common layouts first.
bool ParseTimestamp(std::string_view text, double& seconds, signed char& last,
                    DayMemo* memo = nullptr) {
    return QuickIsoTimestamp(text, seconds, memo) || ParseAny(IsoTimestamps(), text, seconds, last);
}

bool ParseDays(std::string_view text, double& days) {
    int64_t quick = 0;
    if (text.size() == 10 && QuickIsoDays(text, quick)) {
        days = static_cast<double>(quick);
        return true;
    }
    double seconds = 0;
    if (!IsoDate().Parse(text, seconds))
        return false;
    days = seconds / 86400.0;
    return true;
}

// The value of `text` in the engine's representation of `storage`.
bool ConvertCell(Storage storage, std::string_view text, double& out, signed char& format,
                 DayMemo& memo) {
    switch (storage) {
        case Storage::Integer:
        case Storage::Real:
            return ParseCsvNumber(text, out);
        case Storage::Date:
            return ParseDays(text, out);
        case Storage::Timestamp:
            return ParseTimestamp(text, out, format, &memo) || IsoDate().Parse(text, out);
        case Storage::Time: {
            signed char ignored = -1;
            return ParseAny(IsoTimes(), text, out, ignored);
        }
        default:
            return false;
    }
}

using Guess = CsvRowSource::Guess;

// The guess of a column after it met `text` (a value, not missing).
Guess Widen(Guess guess, std::string_view text, signed char& format) {
    double ignored = 0;
    switch (guess) {
        case Guess::None:
            if (IsInteger(text))
                return Guess::Integer;
            if (ParseCsvNumber(text, ignored))
                return Guess::Real;
            if (IsoDate().Parse(text, ignored))
                return Guess::Date;
            if (ParseTimestamp(text, ignored, format))
                return Guess::Timestamp;
            return Guess::String;
        case Guess::Integer:
            if (IsInteger(text))
                return Guess::Integer;
            return ParseCsvNumber(text, ignored) ? Guess::Real : Guess::String;
        case Guess::Real:
            return ParseCsvNumber(text, ignored) ? Guess::Real : Guess::String;
        case Guess::Date:
            return IsoDate().Parse(text, ignored) ? Guess::Date : Guess::String;
        case Guess::Timestamp:
            return ParseTimestamp(text, ignored, format) ? Guess::Timestamp : Guess::String;
        default:
            return Guess::String;
    }
}

Storage StorageOf(Guess guess) {
    switch (guess) {
        case Guess::Integer:
            return Storage::Integer;
        case Guess::Real:
            return Storage::Real;
        case Guess::Date:
            return Storage::Date;
        case Guess::Timestamp:
            return Storage::Timestamp;
        default:
            return Storage::String;
    }
}

// The text a cell is classified by: unquoted cells without their blanks (a cell of blanks only
// is no value), quoted cells as they are (a quoted empty or padded text is a text).
bool ValueText(const CsvScanner& scanner, size_t i, std::string_view& text) {
    if (scanner.null(i))
        return false;
    text = scanner.text(i);
    if (scanner.quoted(i))
        return true;
    text = Trim(text);
    return !text.empty();
}

}  // namespace

CsvRowSource::CsvRowSource(const std::string& path, bool hasHeader,
                           std::optional<std::vector<EngineField>> model,
                           std::function<void(const std::string&)> onBadRecord, CsvTyping typing)
    : path_(path),
      hasHeader_(hasHeader),
      onBadRecord_(std::move(onBadRecord)),
      provisional_(typing == CsvTyping::Provisional && !model),
      scanner_(path) {
    std::vector<std::string> names;
    size_t columns = 0;
    if (scanner_.next()) {
        columns = scanner_.size();
        if (hasHeader) {
            for (size_t i = 0; i < columns; ++i)
                names.emplace_back(scanner_.text(i));
        } else if (model && columns == model->size()) {
            // Without a header flag, a first line that repeats the model's field names is a
            // header all the same: it could never be a record of those storages.
            bool repeats = true;
            for (size_t i = 0; i < columns && repeats; ++i)
                repeats = scanner_.text(i) == (*model)[i].name;
            hasHeader_ = repeats;
        }
    }
    if (hasHeader)
        CheckUniqueNames(names, "the CSV file " + path);
    if (model) {
        fields_ = std::move(*model);
        if (columns != 0 && fields_.size() != columns) {
            throw EngineError("the data model of " + path + " has " +
                              std::to_string(fields_.size()) + " fields, the file " +
                              std::to_string(columns));
        }
    } else {
        fields_.resize(columns);
        for (size_t i = 0; i < columns; ++i)
            fields_[i].name = hasHeader ? names[i] : "field" + std::to_string(i + 1);
        guesses_.assign(columns, Guess::None);
        formats_.assign(columns, -1);
        toFirstRecord();
        classify(provisional_ ? kSampleRecords : UINT64_MAX);
        adoptGuesses();
    }
    formats_.assign(fields_.size(), -1);
    memos_.assign(fields_.size(), DayMemo{});
    numbers_.assign(fields_.size(), 0.0);
    missing_.assign(fields_.size(), 1);
    texts_.assign(fields_.size(), std::string_view());
    text_.resize(fields_.size());
    for (size_t i = 0; i < fields_.size(); ++i)
        text_[i] = fields_[i].storage == Storage::String || fields_[i].storage == Storage::Unknown;
    toFirstRecord();
}

CsvRowSource::~CsvRowSource() = default;

void CsvRowSource::toFirstRecord() {
    scanner_.rewind();
    if (hasHeader_)
        scanner_.next();
    recordNumber_ = 0;
}

void CsvRowSource::classify(uint64_t limit) {
    const size_t columns = guesses_.size();
    uint64_t number = 0;
    while (number < limit && scanner_.next()) {
        ++number;
        if (scanner_.size() != columns) {
            if (onBadRecord_)
                continue;  // reported when the records are delivered
            throw EngineError("the CSV file " + path_ + " has " + std::to_string(scanner_.size()) +
                              " fields in record " + std::to_string(number) + ", expected " +
                              std::to_string(columns));
        }
        for (size_t i = 0; i < columns; ++i) {
            std::string_view text;
            if (guesses_[i] != Guess::String && ValueText(scanner_, i, text))
                guesses_[i] = Widen(guesses_[i], text, formats_[i]);
        }
    }
}

void CsvRowSource::adoptGuesses() {
    for (size_t i = 0; i < fields_.size(); ++i) {
        fields_[i].storage = StorageOf(guesses_[i]);
        fields_[i].measure =
            fields_[i].storage == Storage::String ? Measure::Nominal : Measure::Continuous;
    }
}

void CsvRowSource::settleAndRestart() {
    provisional_ = false;
    guesses_.assign(fields_.size(), Guess::None);
    formats_.assign(fields_.size(), -1);
    toFirstRecord();
    classify(UINT64_MAX);
    adoptGuesses();
    formats_.assign(fields_.size(), -1);
    for (size_t i = 0; i < fields_.size(); ++i)
        text_[i] = fields_[i].storage == Storage::String;
    numbers_.assign(fields_.size(), 0.0);
    texts_.assign(fields_.size(), std::string_view());
    toFirstRecord();
    ++restarts_;
}

std::vector<std::string> ReadCsvHeader(const std::string& path) {
    CsvScanner scanner(path);
    if (!scanner.next())
        throw EngineError("the CSV file " + path + " is empty: it has no header line");
    std::vector<std::string> names;
    names.reserve(scanner.size());
    for (size_t i = 0; i < scanner.size(); ++i)
        names.emplace_back(scanner.text(i));
    CheckUniqueNames(names, "the CSV file " + path);
    return names;
}

void CheckUniqueNames(const std::vector<std::string>& names, const std::string& what) {
    std::unordered_set<std::string_view> seen;
    seen.reserve(names.size());
    std::vector<std::string_view> repeated;
    for (const std::string& name : names) {
        if (!seen.insert(name).second &&
            std::find(repeated.begin(), repeated.end(), name) == repeated.end()) {
            repeated.push_back(name);
        }
    }
    if (repeated.empty())
        return;
    std::string list;
    for (std::string_view name : repeated)
        list += (list.empty() ? "'" : ", '") + std::string(name) + "'";
    throw EngineError(what + " names " + (repeated.size() == 1 ? "a field" : "fields") +
                      " more than once: " + list + "; every field needs its own name");
}

bool CsvRowSource::convert(std::string& why) {
    const size_t n = fields_.size();
    for (size_t i = 0; i < n; ++i) {
        if (text_[i]) {
            // A column without values in the sample: a value that is no text settles the file.
            std::string_view value;
            if (provisional_ && guesses_[i] == Guess::None && ValueText(scanner_, i, value)) {
                guesses_[i] = Widen(Guess::None, value, formats_[i]);
                if (guesses_[i] != Guess::String) {
                    settleAndRestart();
                    return false;
                }
            }
            missing_[i] = scanner_.null(i);
            texts_[i] = scanner_.text(i);
            continue;
        }
        missing_[i] = 1;
        if (scanner_.null(i))
            continue;
        const std::string_view raw = scanner_.text(i);
        const std::string_view text = Trim(raw);
        double& out = numbers_[i];
        if (provisional_) {
            // A padded or empty quoted text makes the column a text column.
            bool fits = !(scanner_.quoted(i) && (raw.empty() || text.size() != raw.size()));
            if (fits && text.empty())
                continue;
            switch (guesses_[i]) {
                case Guess::Integer:
                    if (!fits || ParseInteger(text, out))
                        break;
                    fits = ParseCsvNumber(text, out);
                    if (fits) {
                        guesses_[i] = Guess::Real;
                        fields_[i].storage = Storage::Real;
                    }
                    break;
                case Guess::Real:
                    fits = fits && ParseCsvNumber(text, out);
                    break;
                case Guess::Date:
                    fits = fits && ParseDays(text, out);
                    break;
                default:
                    fits = fits && ParseTimestamp(text, out, formats_[i], &memos_[i]);
                    break;
            }
            if (!fits) {
                settleAndRestart();
                return false;
            }
            missing_[i] = 0;
            continue;
        }
        if (text.empty())
            continue;
        if (!ConvertCell(fields_[i].storage, text, out, formats_[i], memos_[i])) {
            why = "record " + std::to_string(recordNumber_) + " of " + path_ + ": field '" +
                  fields_[i].name + "' holds '" + std::string(raw) + "', not a valid " +
                  StorageText(fields_[i].storage);
            return false;
        }
        missing_[i] = 0;
    }
    return true;
}

bool CsvRowSource::next() {
    for (;;) {
        if (!scanner_.next())
            return false;
        ++recordNumber_;
        std::string why;
        if (scanner_.size() != fields_.size()) {
            if (!onBadRecord_) {
                throw EngineError("the CSV file " + path_ + " has " +
                                  std::to_string(scanner_.size()) + " fields in record " +
                                  std::to_string(recordNumber_) + ", expected " +
                                  std::to_string(fields_.size()));
            }
            why = "record " + std::to_string(recordNumber_) + " of " + path_ + " has " +
                  std::to_string(scanner_.size()) + " fields, expected " +
                  std::to_string(fields_.size());
        } else {
            const uint64_t restarts = restarts_;
            if (convert(why))
                return true;
            if (restarts != restarts_)
                continue;  // settled: the first record comes again
            if (!onBadRecord_)
                throw EngineError(why);
        }
        // A record skipped before a restart was reported then.
        if (recordNumber_ > reported_) {
            reported_ = recordNumber_;
            onBadRecord_(why);
        }
    }
}

}  // namespace qelocal
