#include "qeinteg/platform/engine/stats/TimeIntervals.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace qelocal {

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr int64_t kMsPerDay = 24 * kMsPerHour;
constexpr int64_t kMsPerWeek = 7 * kMsPerDay;
// Texts read before the format of a text field is settled.
constexpr size_t kFormatSamples = 200;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The most frequent of `diffs` (all positive); the smallest wins a tie.
int64_t ModeOf(const std::vector<int64_t>& diffs) {
    std::unordered_map<int64_t, uint64_t> counts;
    for (int64_t d : diffs)
        ++counts[d];
    int64_t best = 0;
    uint64_t bestCount = 0;
    for (const auto& [value, count] : counts) {
        if (count > bestCount || (count == bestCount && value < best)) {
            best = value;
            bestCount = count;
        }
    }
    return best;
}

// Counts missing grid points and off-grid intervals for a grid of `step`.
void CountGrid(const std::vector<int64_t>& diffs, int64_t step, IntervalShape& shape) {
    for (int64_t d : diffs) {
        if (d % step == 0) {
            shape.gaps += static_cast<uint64_t>(d / step - 1);
        } else {
            ++shape.irregular;
        }
    }
}

// Calendar units apply when every point is at the same time of day and on the same day of the
// month (or every point is on the last day of its month). Returns the month index of each point.
bool CalendarAligned(const std::vector<int64_t>& points, std::vector<int64_t>& monthIndex) {
    int64_t timeOfDay = -1;
    int dayOfMonth = -1;
    bool allLastDay = true;
    bool sameDay = true;
    monthIndex.clear();
    monthIndex.reserve(points.size());
    for (int64_t ms : points) {
        const int64_t day = FloorDiv(ms, kMsPerDay);
        const int64_t tod = ms - day * kMsPerDay;
        if (timeOfDay < 0)
            timeOfDay = tod;
        if (tod != timeOfDay)
            return false;
        const CivilDate date = CivilFromDays(day);
        if (dayOfMonth < 0)
            dayOfMonth = date.day;
        sameDay = sameDay && date.day == dayOfMonth;
        allLastDay = allLastDay && date.day == DaysInMonth(date.year, date.month);
        if (!sameDay && !allLastDay)
            return false;
        monthIndex.push_back(date.year * 12 + (date.month - 1));
    }
    return true;
}

}  // namespace

const char* TimeUnitText(TimeUnit unit) {
    switch (unit) {
        case TimeUnit::Years:
            return "years";
        case TimeUnit::Quarters:
            return "quarters";
        case TimeUnit::Months:
            return "months";
        case TimeUnit::Weeks:
            return "weeks";
        case TimeUnit::Days:
            return "days";
        case TimeUnit::Hours:
            return "hours";
        case TimeUnit::Minutes:
            return "minutes";
        case TimeUnit::Seconds:
            return "seconds";
        default:
            return "";
    }
}

IntervalShape DetectInterval(const std::vector<double>& seconds) {
    IntervalShape shape;
    std::vector<int64_t> points;
    points.reserve(seconds.size());
    for (size_t i = 0; i < seconds.size(); ++i) {
        points.push_back(std::llround(seconds[i] * kMsPerSecond));
        if (i > 0 && points[i] < points[i - 1])
            shape.sorted = false;
    }
    if (!shape.sorted)
        std::sort(points.begin(), points.end());
    const size_t total = points.size();
    points.erase(std::unique(points.begin(), points.end()), points.end());
    shape.points = points.size();
    shape.duplicates = total - points.size();
    if (points.empty())
        return shape;
    shape.first = static_cast<double>(points.front()) / kMsPerSecond;
    shape.last = static_cast<double>(points.back()) / kMsPerSecond;
    if (points.size() < 2)
        return shape;

    std::vector<int64_t> monthIndex;
    if (CalendarAligned(points, monthIndex)) {
        std::vector<int64_t> diffs;
        diffs.reserve(monthIndex.size() - 1);
        for (size_t i = 1; i < monthIndex.size(); ++i)
            diffs.push_back(monthIndex[i] - monthIndex[i - 1]);
        const int64_t months = ModeOf(diffs);
        if (months % 12 == 0) {
            shape.unit = TimeUnit::Years;
            shape.step = static_cast<double>(months / 12);
        } else if (months % 3 == 0) {
            shape.unit = TimeUnit::Quarters;
            shape.step = static_cast<double>(months / 3);
        } else {
            shape.unit = TimeUnit::Months;
            shape.step = static_cast<double>(months);
        }
        CountGrid(diffs, months, shape);
    } else {
        std::vector<int64_t> diffs;
        diffs.reserve(points.size() - 1);
        for (size_t i = 1; i < points.size(); ++i)
            diffs.push_back(points[i] - points[i - 1]);
        const int64_t step = ModeOf(diffs);
        struct Candidate {
            TimeUnit unit;
            int64_t ms;
        };
        static const Candidate kUnits[] = {{TimeUnit::Weeks, kMsPerWeek},
                                           {TimeUnit::Days, kMsPerDay},
                                           {TimeUnit::Hours, kMsPerHour},
                                           {TimeUnit::Minutes, kMsPerMinute},
                                           {TimeUnit::Seconds, kMsPerSecond}};
        shape.unit = TimeUnit::Seconds;
        shape.step = static_cast<double>(step) / kMsPerSecond;
        for (const Candidate& c : kUnits) {
            if (step % c.ms == 0) {
                shape.unit = c.unit;
                shape.step = static_cast<double>(step / c.ms);
                break;
            }
        }
        CountGrid(diffs, step, shape);
    }
    shape.regular = shape.gaps == 0 && shape.irregular == 0;
    return shape;
}

TimePointCollector::TimePointCollector(const EngineField& field, bool standard) {
    result_.field = field.name;
    result_.standard = standard;
    result_.storage = field.storage;
    if (IsTemporalStorage(field.storage)) {
        result_.timeStorage = field.storage;
    } else if (field.storage == Storage::String) {
        textField_ = true;
    } else {
        result_.error = "field '" + field.name + "' of storage " + StorageText(field.storage) +
                        " is not a date/time field";
    }
}

void TimePointCollector::add(const Cell& cell) {
    ++result_.records;
    if (!result_.error.empty())
        return;
    if (cell.missing) {
        ++result_.missing;
        return;
    }
    if (!textField_) {
        if (std::isfinite(cell.number)) {
            seconds_.push_back(TemporalToSeconds(result_.timeStorage, cell.number));
        } else {
            ++result_.invalid;
        }
        return;
    }
    // Surrounding blanks are not part of a date.
    std::string_view text = cell.text;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (text.empty()) {
        ++result_.missing;
        return;
    }
    if (!formatSettled_) {
        pending_.emplace_back(text);
        if (pending_.size() >= kFormatSamples)
            detectFormat();
        return;
    }
    addText(text);
}

void TimePointCollector::addText(std::string_view text) {
    double seconds = 0;
    if (format_ && format_->Parse(text, seconds)) {
        seconds_.push_back(seconds);
    } else {
        ++result_.invalid;
    }
}

void TimePointCollector::detectFormat() {
    formatSettled_ = true;
    format_ = DetectDateTimeFormat(pending_);
    if (!format_) {
        result_.error =
            "no known date/time format fits the values of field '" + result_.field + "'";
        pending_.clear();
        return;
    }
    result_.format = format_->pattern();
    result_.timeStorage = format_->storage();
    for (const std::string& text : pending_)
        addText(text);
    pending_.clear();
    pending_.shrink_to_fit();
}

TimeIntervalResult TimePointCollector::finish() {
    if (textField_ && !formatSettled_ && result_.error.empty()) {
        if (pending_.empty()) {
            formatSettled_ = true;  // nothing to detect: no points
        } else {
            detectFormat();
        }
    }
    if (result_.error.empty())
        result_.shape = DetectInterval(seconds_);
    return result_;
}

}  // namespace qelocal
