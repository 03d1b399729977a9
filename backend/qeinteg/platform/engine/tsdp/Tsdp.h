// Time-series data preparation: records are aggregated into regular series, one per combination of
// dimension values and metric, on a time grid given by a date/time field at an interval, by cyclic
// fields, or by the case number (docs/tcm.md).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/stats/TimeIntervals.h"

namespace qelocal {

enum class TsdpAggregation { Sum, Mean, Min, Max, Count, First, Last };
const char* TsdpAggregationText(TsdpAggregation aggregation);

// What the preparation settings ask for.
struct TsdpSettings {
    std::vector<std::string> dimensions;  // empty when the settings hold none (or one empty name)
    std::vector<std::string> metrics;
    std::vector<TsdpAggregation> aggregations;  // per metric
    std::string dateTimeField;                  // empty: cyclic fields or the case number
    std::vector<std::string> cyclicFields;      // outermost first; empty with a date/time field
    bool caseCount = false;                     // cyclicFieldList is exactly "$casecount"
    TimeUnit unit = TimeUnit::None;             // with a date/time field
    int64_t step = 1;                           // units per period
};

// Reads the settings document; throws EngineError naming the key that is missing or malformed.
TsdpSettings ParseTsdpSettings(const nlohmann::ordered_json& settings);

// The prepared series on one shared time grid.
struct TsdpResult {
    std::vector<EngineField> dimensionFields;
    // Per dimension, its distinct values in ascending order (numbers as numbers, texts bytewise).
    // A value is a number, or a text when the field is a string.
    struct Value {
        double number = 0.0;
        std::string text;
    };
    std::vector<std::vector<Value>> dimensionValues;
    // The dimension combinations met in the data, as positions into dimensionValues, ascending.
    std::vector<std::vector<size_t>> combinations;
    std::vector<std::string> metrics;
    // Time grid: one key per period. With a date/time field, keys are period starts in seconds
    // since the epoch; with cyclic fields, one value per cyclic field per period (row-major); with
    // the case number, 1..N.
    std::vector<EngineField> timeFields;          // the output's time fields
    std::vector<std::vector<double>> timeValues;  // per time field, per period
    size_t periods = 0;
    // values[(combination * metrics + metric) * periods + period]; NaN is missing.
    std::vector<double> values;
    uint64_t records = 0;
    uint64_t skippedRecords = 0;  // records without a dimension or time value

    double value(size_t combination, size_t metric, size_t period) const {
        return values[(combination * metrics.size() + metric) * periods + period];
    }
    size_t seriesCount() const { return combinations.size() * metrics.size(); }
    // "positions of the dimension values then the metric position", joined with "-".
    std::string seriesId(size_t combination, size_t metric) const;
    // The text of a dimension value (numbers in their shortest form).
    std::string valueText(size_t dimension, size_t position) const;
    // The text of a period: ISO date/timestamp, cyclic values joined with "-", or the case number.
    std::string periodText(size_t period) const;
};

// Pulls every record of `source` and prepares the series. `pace(records)` is called after each
// record (it may throw to stop). Throws EngineError when a named field is absent or of a storage
// that cannot serve its role.
TsdpResult PrepareSeries(RowSource& source, const TsdpSettings& settings,
                         const std::function<void(uint64_t)>& pace = {});

// The prepared data as records: dimension fields, time fields, then one real field per metric;
// one record per combination and period, combinations in order, periods in time order.
std::unique_ptr<RowSource> PreparedRows(const TsdpResult& result);

// The cycle of a cyclic field from the values met: distinct and ascending, and every whole number
// from the smallest to the largest when they are all whole.
std::vector<double> CycleOf(std::vector<double> values);

// With a date/time field: the first instant of the period `ahead` periods after the one that holds
// `value`, both in the time field's storage `storage` (the grid's periods are calendar units
// counted from 1970, grouped by the settings' step).
double ShiftPeriod(const TsdpSettings& settings, Storage storage, double value, int64_t ahead);

// The "TSDPOutput.json" document: the given settings with "timeVariable" set to this grid, and the
// description of the output.
nlohmann::ordered_json TsdpOutputDocument(const nlohmann::ordered_json& settings,
                                          const TsdpSettings& parsed, const TsdpResult& result);

}  // namespace qelocal
