// Detection of the time interval of a date/time field: the unit and step between consecutive time
// points, the span, and how well the points fit a regular grid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/stats/IntervalDetector.h"

namespace qelocal {

// Detects the interval of `seconds` (seconds since the epoch, in record order; no missing values).
// Time points are compared at millisecond precision. Values that are not finite or lie beyond
// kMaxTimePointSeconds are left out (callers count them as invalid).
IntervalShape DetectInterval(const std::vector<double>& seconds);

// The detection result for one requested field.
struct TimeIntervalResult {
    std::string field;
    bool standard = true;                    // asked as a standard date/time field
    Storage storage = Storage::Unknown;      // the field's storage
    Storage timeStorage = Storage::Unknown;  // date, time or timestamp: how points are written
    std::string format;                      // the detected text format (text fields only)
    uint64_t records = 0;
    uint64_t missing = 0;  // missing values
    uint64_t invalid = 0;  // texts the format could not read
    IntervalShape shape;
    std::string error;  // why no detection was possible; empty on success
};

// Collects the time points of one field as records pass.
class TimePointCollector {
  public:
    TimePointCollector(const EngineField& field, bool standard);
    void add(const Cell& cell);
    TimeIntervalResult finish();

  private:
    void detectFormat();
    void addText(std::string_view text);

    TimeIntervalResult result_;
    bool textField_ = false;
    std::optional<DateTimeFormat> format_;
    bool formatSettled_ = false;
    std::vector<std::string> pending_;  // texts seen before the format was settled
    IntervalDetector detector_;
};

}  // namespace qelocal
