// Temporal causal models fitted on prepared series (docs/tcm.md): per target series a linear model
// on lags 1..L of itself and of the predictors that forward selection admits; per series that is
// only a candidate input, an autoregressive model of order L.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/tsdp/Tsdp.h"

namespace qelocal {

struct TcmSettings {
    int lags = 3;                     // L
    double significanceLevel = 0.05;  // a predictor enters when its lag group's p-value is below
    int maxInputs = 3;                // predictors per target besides the target itself
    std::vector<std::string> targetMetrics;  // empty: every metric
    std::vector<std::string> inputMetrics;   // empty: every metric
};

// Reads the model keys of the build configuration; throws EngineError when one is malformed.
TcmSettings ParseTcmSettings(const nlohmann::ordered_json& configuration);

// One input of a series' model: a series (possibly the modelled series itself) at lags 1..L.
struct TcmInput {
    size_t series = 0;                 // index into TcmModelSet::seriesIds
    std::vector<double> coefficients;  // per lag 1..L
    double fValue = 0.0;               // of dropping this lag group from the final model
    double pValue = 1.0;
};

struct TcmSeriesModel {
    size_t series = 0;
    bool target = false;  // false: an autoregressive model of a series that is only an input
    bool fitted = false;  // false when the series could not be modelled (see notes)
    double intercept = 0.0;
    std::vector<TcmInput> inputs;  // the series itself first
    double rSquared = 0.0;
    double rmse = 0.0;
    size_t observations = 0;
    size_t parameters = 0;
    std::vector<std::string> notes;  // what was dropped or could not be done, and why
};

struct TcmModelSet {
    TcmSettings settings;
    std::vector<std::string> seriesIds;  // every modelled series, in series order
    std::vector<size_t> combination;     // per series
    std::vector<size_t> metric;          // per series
    std::vector<TcmSeriesModel> models;  // targets and autoregressive series, in series order
};

// Fits the models. Never produces a non-finite coefficient: singular designs, series too short for
// the lag order and exact fits are reported in the notes instead.
TcmModelSet FitTcm(const TsdpResult& data, const TcmSettings& settings);

// The archive documents.
nlohmann::ordered_json TcmGraphDocument(const TcmModelSet& models, const TsdpResult& data);
nlohmann::ordered_json TcmModelDocument(const TcmModelSet& models, const TsdpResult& data);
// The summary document with the model's data model: dimension fields with their values, time
// fields, metric fields, and "metricField" whose values are the metric names in order.
std::string TcmStatXml(const TsdpResult& data);

}  // namespace qelocal
