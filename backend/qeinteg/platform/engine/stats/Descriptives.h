// The descriptives computation: one pass over a record stream gives, per field, counts, range,
// mean and standard deviation, distinct values up to a limit, and the detected time intervals of
// the date/time fields that were asked for.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/stats/TextSet.h"
#include "qeinteg/platform/engine/stats/TimeIntervals.h"

namespace qelocal {

// What the settings document of the descriptives function asks for.
struct DescriptivesSettings {
    std::vector<std::string> inputFields;        // empty: every field, unless only dates are asked
    bool inputFieldsGiven = false;               // true when the settings named the list
    std::vector<std::string> stdDateTimeFields;  // fields of date, time or timestamp storage
    std::vector<std::string> nonStdDateTimeFields;  // text fields whose format is detected
    int64_t maxDistinctValues = 10000;
    bool computeSummaryStats = true;
    bool trimTrailingBlank = false;
    bool listDistinctValues = true;  // false: counts only, no value lists in the summary
};

// Reads the settings keys that the computation honours; throws EngineError for keys of the wrong
// type. `json` is the settings document as JSON text.
DescriptivesSettings ParseDescriptivesSettings(const std::string& json);

// The summary of one field.
struct FieldSummary {
    EngineField field;      // storage and measure as the computation settled them
    uint64_t count = 0;     // records
    uint64_t valid = 0;     // non-missing values
    uint64_t missing = 0;   // missing values
    bool hasRange = false;  // minimum and maximum are set (numeric storages with valid > 0)
    double minimum = 0.0;
    double maximum = 0.0;
    bool hasMean = false;
    double mean = 0.0;
    bool hasStdDev = false;                   // needs two valid values
    double stdDev = 0.0;                      // sample standard deviation (divisor n - 1)
    uint64_t distinctCount = 0;               // exact when !distinctExceeded, else the limit
    bool distinctExceeded = false;            // more distinct values than the limit
    std::vector<std::string> distinctValues;  // sorted; empty when the limit was exceeded
};

struct DescriptivesResult {
    uint64_t records = 0;
    std::vector<FieldSummary> fields;           // the analysed fields, in the requested order
    std::vector<TimeIntervalResult> intervals;  // the date/time fields, std ones first
};

// A set of doubles by bit pattern (open addressing), for counting distinct values quickly.
class DoubleSet {
  public:
    // False when `value` was already present.
    bool insert(double value) {
        if ((size_ + 1) * 2 > slots_.size())
            grow();
        const uint64_t bits = std::bit_cast<uint64_t>(value == 0.0 ? 0.0 : value);  // -0 is 0
        const size_t mask = slots_.size() - 1;
        // The high bits of a multiplication depend on every bit of the value: integral values
        // (whose low mantissa bits are all zero) spread as well as any.
        for (size_t i = static_cast<size_t>((bits * 0x9e3779b97f4a7c15ull) >> shift_);;
             i = (i + 1) & mask) {
            if (slots_[i] == bits)
                return false;
            if (slots_[i] == kEmptySlot) {
                slots_[i] = bits;
                ++size_;
                return true;
            }
        }
    }
    size_t size() const { return size_; }
    std::vector<double> values() const;
    void clear();

  private:
    static constexpr uint64_t kEmptySlot = 0x7FF8DEADBEEF0001ull;  // a NaN: never stored
    void grow();
    std::vector<uint64_t> slots_;
    size_t size_ = 0;
    unsigned shift_ = 64;  // 64 - log2(slots_.size())
};

// Accumulates the summary of one field. Values are taken in blocks: each block's mean and sum of
// squared deviations are computed in two passes over the deviations from the block's first value
// and merged into the running totals with Chan's update, so values far from zero (1e15 + small
// steps) keep their precision and the running mean does not wait on a division per value.
class FieldAccumulator {
  public:
    FieldAccumulator(const EngineField& field, int64_t maxDistinct, bool trimTrailingBlank);
    void add(const Cell& cell) {
        ++count_;
        if (cell.missing)
            return;
        if (field_.storage == Storage::String) {
            addText(cell.text);
            return;
        }
        block_[blockSize_] = cell.number;
        if (++blockSize_ == kBlock)
            flush();
    }
    // The summary; without `listValues` the distinct values are counted but not listed.
    FieldSummary finish(bool computeSummaryStats, bool listValues = true);
    // A source read in one pass found a wider numeric storage (integer to real); the values
    // taken so far keep their meaning.
    void widen(Storage storage) { field_.storage = storage; }

  private:
    static constexpr size_t kBlock = 256;
    void addText(std::string_view text);
    void flush();

    EngineField field_;
    int64_t maxDistinct_;
    bool trim_;
    uint64_t count_ = 0;
    uint64_t valid_ = 0;
    double mean_ = 0.0;
    double m2_ = 0.0;
    double min_ = 0.0;
    double max_ = 0.0;
    bool exceeded_ = false;
    DoubleSet numbers_;
    TextSet texts_;
    size_t blockSize_ = 0;
    double block_[kBlock];
};

// Pulls every record of `source` once. `onRow` is called after each record with the number of
// records read so far (for progress and cancellation; it may throw EngineCancelled). For a source
// that may start over (a CSV file read with provisional storages), `restarts` gives its count of
// restarts: when it changes, the summary starts again from the source's current fields.
DescriptivesResult ComputeDescriptives(RowSource& source, const DescriptivesSettings& settings,
                                       const std::function<void(uint64_t)>& onRow = {},
                                       const std::function<uint64_t()>& restarts = {});

// Shortest text that reads back as the same double; integral values have no decimals.
std::string NumberText(double value);

}  // namespace qelocal
