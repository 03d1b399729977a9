// The shape of a stream of time points: unit and step between consecutive distinct points, the
// span, duplicates, gaps and off-grid intervals.
//
// Points usually come sorted (a time series). While they do, only the runs of equal distances
// between consecutive distinct points are kept, so a regular series of any length takes constant
// memory (one run per gap or change of step). Once a point comes out of order, every point is kept
// as whole milliseconds, 8 bytes each, and sorted at the end.
#pragma once

#include <cstdint>
#include <vector>

namespace qelocal {

enum class TimeUnit { None, Years, Quarters, Months, Weeks, Days, Hours, Minutes, Seconds };
const char* TimeUnitText(TimeUnit unit);

// The shape of a set of time points.
struct IntervalShape {
    TimeUnit unit = TimeUnit::None;
    double step = 0.0;        // in units; whole except for sub-second seconds
    uint64_t points = 0;      // distinct time points
    uint64_t duplicates = 0;  // values equal to an earlier value
    uint64_t gaps = 0;        // grid points missing between the first and the last point
    uint64_t irregular = 0;   // intervals that are not a whole number of steps
    bool regular = false;     // at least two points, no gaps, no irregular interval
    bool sorted = true;       // the values came in non-decreasing order
    double first = 0.0;       // seconds since the epoch
    double last = 0.0;
};

class IntervalDetector {
  public:
    // Takes the next point, seconds since the epoch. Points are compared at millisecond
    // precision; values that are not finite or lie beyond kMaxTimePointSeconds are left out
    // (callers count them as invalid).
    void add(double seconds);
    // The shape of the points added so far.
    IntervalShape finish();

  private:
    struct Run {
        int64_t distance;  // milliseconds between consecutive distinct points
        uint64_t count;
    };
    uint64_t total_ = 0;
    bool sorted_ = true;
    int64_t first_ = 0;
    int64_t last_ = 0;
    std::vector<Run> runs_;        // while sorted
    std::vector<int64_t> points_;  // once out of order: every point
};

}  // namespace qelocal
