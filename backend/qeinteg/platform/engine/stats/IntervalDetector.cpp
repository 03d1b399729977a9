#include "qeinteg/platform/engine/stats/IntervalDetector.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "qeinteg/platform/engine/exec/EngineTime.h"

namespace qelocal {

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr int64_t kMsPerDay = 24 * kMsPerHour;
constexpr int64_t kMsPerWeek = 7 * kMsPerDay;

using Histogram = std::unordered_map<int64_t, uint64_t>;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The most frequent distance (all positive); the smallest wins a tie.
int64_t ModeOf(const Histogram& distances) {
    int64_t best = 0;
    uint64_t bestCount = 0;
    for (const auto& [value, count] : distances) {
        if (count > bestCount || (count == bestCount && value < best)) {
            best = value;
            bestCount = count;
        }
    }
    return best;
}

// Counts missing grid points and off-grid intervals for a grid of `step`.
void CountGrid(const Histogram& distances, int64_t step, IntervalShape& shape) {
    for (const auto& [d, count] : distances) {
        if (d % step == 0) {
            shape.gaps += static_cast<uint64_t>(d / step - 1) * count;
        } else {
            shape.irregular += count;
        }
    }
}

// Walks the distinct points in ascending order. Calendar units apply when every point is at the
// same time of day and on the same day of the month (or every point is on the last day of its
// month); while that holds, the distances in months are counted as well.
class ShapeBuilder {
  public:
    void point(int64_t ms) {
        if (any_) {
            const int64_t d = ms - previous_;
            ++distances_[d];
        }
        if (aligned_) {
            const int64_t day = FloorDiv(ms, kMsPerDay);
            const int64_t tod = ms - day * kMsPerDay;
            const CivilDate date = CivilFromDays(day);
            if (!any_) {
                timeOfDay_ = tod;
                dayOfMonth_ = date.day;
            }
            sameDay_ = sameDay_ && date.day == dayOfMonth_;
            allLastDay_ = allLastDay_ && date.day == DaysInMonth(date.year, date.month);
            aligned_ = tod == timeOfDay_ && (sameDay_ || allLastDay_);
            const int64_t month = date.year * 12 + (date.month - 1);
            if (aligned_ && any_)
                ++months_[month - previousMonth_];
            if (!aligned_)
                months_.clear();
            previousMonth_ = month;
        }
        previous_ = ms;
        any_ = true;
    }

    // Called with at least two points seen.
    void finish(IntervalShape& shape) const {
        if (aligned_) {
            const int64_t months = ModeOf(months_);
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
            CountGrid(months_, months, shape);
        } else {
            const int64_t step = ModeOf(distances_);
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
            CountGrid(distances_, step, shape);
        }
        shape.regular = shape.gaps == 0 && shape.irregular == 0;
    }

  private:
    bool any_ = false;
    int64_t previous_ = 0;
    Histogram distances_;
    bool aligned_ = true;
    bool sameDay_ = true;
    bool allLastDay_ = true;
    int64_t timeOfDay_ = 0;
    int dayOfMonth_ = 0;
    int64_t previousMonth_ = 0;
    Histogram months_;
};

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

void IntervalDetector::add(double seconds) {
    if (!IsValidTimePoint(seconds))
        return;
    const int64_t ms = std::llround(seconds * kMsPerSecond);
    ++total_;
    if (total_ == 1) {
        first_ = last_ = ms;
        return;
    }
    if (!sorted_) {
        points_.push_back(ms);
        return;
    }
    if (ms == last_)
        return;  // a duplicate: counted from the total at the end
    if (ms < last_) {
        // Out of order: the distinct points so far, then every point from here on.
        sorted_ = false;
        int64_t p = first_;
        points_.push_back(p);
        for (const Run& run : runs_) {
            for (uint64_t k = 0; k < run.count; ++k)
                points_.push_back(p += run.distance);
        }
        runs_.clear();
        runs_.shrink_to_fit();
        points_.push_back(ms);
        return;
    }
    const int64_t d = ms - last_;
    if (!runs_.empty() && runs_.back().distance == d)
        ++runs_.back().count;
    else
        runs_.push_back(Run{d, 1});
    last_ = ms;
}

IntervalShape IntervalDetector::finish() {
    IntervalShape shape;
    shape.sorted = sorted_;
    if (total_ == 0)
        return shape;
    ShapeBuilder builder;
    uint64_t distinct = 0;
    int64_t first = first_;
    int64_t last = last_;
    if (sorted_) {
        int64_t p = first_;
        builder.point(p);
        distinct = 1;
        for (const Run& run : runs_) {
            for (uint64_t k = 0; k < run.count; ++k)
                builder.point(p += run.distance);
            distinct += run.count;
        }
    } else {
        std::sort(points_.begin(), points_.end());
        points_.erase(std::unique(points_.begin(), points_.end()), points_.end());
        for (int64_t p : points_)
            builder.point(p);
        distinct = points_.size();
        first = points_.front();
        last = points_.back();
    }
    shape.points = distinct;
    shape.duplicates = total_ - distinct;
    shape.first = static_cast<double>(first) / kMsPerSecond;
    shape.last = static_cast<double>(last) / kMsPerSecond;
    if (distinct >= 2)
        builder.finish(shape);
    return shape;
}

}  // namespace qelocal
