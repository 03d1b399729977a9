// A temporal causal model archive as `tcm:build` writes it (docs/tcm.md), read back for scoring,
// capabilities and impact diagrams: the preparation settings, the series, their models and the
// model's data model.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/tsdp/Tsdp.h"

namespace qelocal {

class TcmArchive final {
  public:
    // One input of a series' model: a series at lags 1..L with a coefficient per lag.
    struct Input {
        size_t series = 0;
        std::vector<double> coefficients;
        double pValue = 1.0;  // of dropping the input's lags from the model (NaN when not known)
    };
    struct Series {
        std::string id;
        std::string metric;
        std::vector<std::string> dimensionValues;  // as texts, in dimension order
        bool modelled = false;                     // has an entry in the model document
        bool target = false;                       // "kind" tcm; false for autoregressive series
        bool fitted = false;
        double intercept = 0.0;
        std::vector<Input> inputs;  // the series itself first
        std::vector<std::string> notes;
    };

    // Reads the archive at `path`. Throws EngineError naming the archive when it is not a zip
    // archive, lacks an entry of a temporal causal model, or an entry is malformed.
    explicit TcmArchive(const std::string& path);

    const std::string& path() const { return path_; }
    const nlohmann::ordered_json& tsdpSettings() const { return settings_; }
    const TsdpSettings& preparation() const { return preparation_; }
    int lags() const { return lags_; }
    size_t timePoints() const { return timePoints_; }
    // The longest forecast the model allows: as many periods as it was fitted on.
    size_t maxForecastSpan() const { return timePoints_; }
    const std::vector<Series>& series() const { return series_; }
    // The index of a series named by its identifier or its label; npos when there is none.
    size_t find(const std::string& name) const;
    // "metric" without dimensions, else "metric (value, value)".
    std::string label(size_t series) const;
    // The position of a dimension value among the model's values of that dimension; npos when
    // absent. Text dimensions compare texts, numeric ones numbers.
    size_t dimensionPosition(size_t dimension, const Cell& cell, bool text) const;
    // The model's fields: dimensions, time fields and metrics, as the summary describes them.
    const std::vector<EngineField>& dataFields() const { return dataFields_; }

    static constexpr size_t npos = static_cast<size_t>(-1);

  private:
    std::string path_;
    nlohmann::ordered_json settings_;
    TsdpSettings preparation_;
    int lags_ = 0;
    size_t timePoints_ = 0;
    std::vector<Series> series_;
    std::map<std::string, size_t> byId_;
    // Per dimension, the model's values in identifier order (numbers as numbers, texts as texts).
    std::vector<std::unordered_map<std::string, size_t>> textPositions_;
    std::vector<std::map<double, size_t>> numberPositions_;
    std::vector<EngineField> dataFields_;
};

}  // namespace qelocal
