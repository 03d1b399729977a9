#include "qeinteg/platform/engine/tsdp/TcmModel.h"

#include <Eigen/Dense>
#include <boost/math/distributions/fisher_f.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

// A residual sum of squares at or below this share of the target's sum of squares counts as an
// exact fit: F statistics are not formed from it.
constexpr double kExactFit = 1e-20;

std::vector<std::string> Names(const Json& configuration, const char* key) {
    std::vector<std::string> names;
    auto it = configuration.find(key);
    if (it == configuration.end())
        return names;
    if (!it->is_array())
        throw EngineError(std::string("tcm:build: \"") + key + "\" must be an array of names");
    for (const Json& name : *it) {
        if (!name.is_string())
            throw EngineError(std::string("tcm:build: \"") + key + "\" must be an array of names");
        names.push_back(name.get<std::string>());
    }
    return names;
}

// The least-squares fit of one design.
struct Fit {
    bool fullRank = false;
    Eigen::Index rank = 0;
    Eigen::VectorXd beta;
    double rss = 0.0;
};

Fit FitDesign(const Eigen::MatrixXd& x, const Eigen::VectorXd& y) {
    Fit fit;
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(x);
    qr.setThreshold(1e-10);
    fit.rank = qr.rank();
    fit.fullRank = fit.rank == x.cols();
    fit.beta = qr.solve(y);
    // A rank-deficient solve sets the free coefficients to zero; the rest are finite.
    for (Eigen::Index i = 0; i < fit.beta.size(); ++i) {
        if (!std::isfinite(fit.beta[i]))
            fit.beta[i] = 0.0;
    }
    fit.rss = (y - x * fit.beta).squaredNorm();
    return fit;
}

// p-value of an F statistic; exact fits and empty improvements are handled by the caller.
double PValue(double f, double d1, double d2) {
    if (!(f >= 0.0) || d1 <= 0.0 || d2 <= 0.0)
        return 1.0;
    if (std::isinf(f))
        return 0.0;
    boost::math::fisher_f_distribution<double> distribution(d1, d2);
    return boost::math::cdf(boost::math::complement(distribution, f));
}

class SeriesFitter {
  public:
    SeriesFitter(const TsdpResult& data, const TcmModelSet& set, int lags)
        : data_(data), set_(set), lags_(static_cast<size_t>(lags)) {}

    double value(size_t series, size_t period) const {
        return data_.value(set_.combination[series], set_.metric[series], period);
    }

    // Rows (periods) where the target and every lag of every given input are present.
    std::vector<size_t> rows(size_t target, const std::vector<size_t>& inputs) const {
        std::vector<size_t> out;
        for (size_t t = lags_; t < data_.periods; ++t) {
            bool ok = !std::isnan(value(target, t));
            for (size_t i = 0; ok && i < inputs.size(); ++i) {
                for (size_t l = 1; ok && l <= lags_; ++l)
                    ok = !std::isnan(value(inputs[i], t - l));
            }
            if (ok)
                out.push_back(t);
        }
        return out;
    }

    void design(size_t target, const std::vector<size_t>& inputs, const std::vector<size_t>& rows,
                Eigen::MatrixXd& x, Eigen::VectorXd& y) const {
        const auto n = static_cast<Eigen::Index>(rows.size());
        x.resize(n, static_cast<Eigen::Index>(1 + inputs.size() * lags_));
        y.resize(n);
        for (Eigen::Index r = 0; r < n; ++r) {
            const size_t t = rows[static_cast<size_t>(r)];
            y[r] = value(target, t);
            x(r, 0) = 1.0;
            Eigen::Index c = 1;
            for (size_t input : inputs) {
                for (size_t l = 1; l <= lags_; ++l)
                    x(r, c++) = value(input, t - l);
            }
        }
    }

    // F test of adding the lag group of `candidate` to `inputs` on the rows both can use.
    struct Test {
        bool usable = false;
        std::string why;  // when not usable
        double f = 0.0;
        double p = 1.0;
        double rss = 0.0;
    };
    // The fit of the current inputs on their own rows, shared by the candidates of one step.
    struct Base {
        size_t rows = 0;
        double rss = 0.0;
    };
    Base base(size_t target, const std::vector<size_t>& inputs) const {
        const std::vector<size_t> r = rows(target, inputs);
        Eigen::MatrixXd x;
        Eigen::VectorXd y;
        design(target, inputs, r, x, y);
        return Base{r.size(), FitDesign(x, y).rss};
    }

    Test addTest(size_t target, const std::vector<size_t>& inputs, size_t candidate,
                 const Base& current) const {
        Test test;
        std::vector<size_t> bigger = inputs;
        bigger.push_back(candidate);
        const std::vector<size_t> r = rows(target, bigger);
        Eigen::MatrixXd x1;
        Eigen::VectorXd y1;
        design(target, bigger, r, x1, y1);
        const auto n = static_cast<double>(r.size());
        const auto p1 = static_cast<double>(x1.cols());
        if (n - p1 < 1.0) {
            test.why = "too few observations to test it";
            return test;
        }
        // The candidate's rows are a subset of the current ones; only when it has gaps does the
        // current model have to be fitted again on the rows both can use.
        Fit reduced;
        if (r.size() == current.rows) {
            reduced.rss = current.rss;
        } else {
            Eigen::MatrixXd x0;
            Eigen::VectorXd y0;
            design(target, inputs, r, x0, y0);
            reduced = FitDesign(x0, y0);
        }
        const Fit full = FitDesign(x1, y1);
        if (!full.fullRank) {
            test.why = "its lags are collinear with the inputs already chosen";
            return test;
        }
        test.usable = true;
        test.rss = full.rss;
        const double scale = std::max(y1.squaredNorm(), std::numeric_limits<double>::min());
        const bool reducedExact = reduced.rss <= kExactFit * scale;
        const bool fullExact = full.rss <= kExactFit * scale;
        if (reducedExact) {
            test.f = 0.0;  // nothing left to explain
            test.p = 1.0;
        } else if (fullExact) {
            test.f = std::numeric_limits<double>::infinity();
            test.p = 0.0;
        } else {
            const double d1 = static_cast<double>(lags_);
            const double d2 = n - p1;
            test.f = std::max(0.0, (reduced.rss - full.rss) / d1) / (full.rss / d2);
            test.p = PValue(test.f, d1, d2);
        }
        return test;
    }

    // Fits the final model of `inputs` (the series itself first) and fills `model`.
    void finish(TcmSeriesModel& model, const std::vector<size_t>& inputs) const {
        const std::vector<size_t> r = rows(model.series, inputs);
        Eigen::MatrixXd x;
        Eigen::VectorXd y;
        design(model.series, inputs, r, x, y);
        model.observations = r.size();
        model.parameters = static_cast<size_t>(x.cols());
        const Fit fit = FitDesign(x, y);
        if (!fit.fullRank) {
            model.notes.push_back("the design is singular (a constant or collinear series); " +
                                  std::to_string(x.cols() - fit.rank) +
                                  " coefficients are held at 0");
        }
        model.intercept = fit.beta[0];
        const double mean = y.mean();
        const double tss = (y.array() - mean).square().sum();
        const double scale = std::max(y.squaredNorm(), std::numeric_limits<double>::min());
        const bool exact = fit.rss <= kExactFit * scale;
        model.rSquared = tss > 0.0 ? 1.0 - fit.rss / tss : (exact ? 1.0 : 0.0);
        model.rmse = std::sqrt(fit.rss / static_cast<double>(r.size()));
        if (exact)
            model.notes.push_back("the model fits exactly (zero residual variance)");
        model.inputs.clear();
        for (size_t i = 0; i < inputs.size(); ++i) {
            TcmInput input;
            input.series = inputs[i];
            for (size_t l = 0; l < lags_; ++l)
                input.coefficients.push_back(
                    fit.beta[static_cast<Eigen::Index>(1 + i * lags_ + l)]);
            // Significance of the group: the model without it against the final model.
            std::vector<size_t> others;
            for (size_t j = 0; j < inputs.size(); ++j) {
                if (j != i)
                    others.push_back(inputs[j]);
            }
            Eigen::MatrixXd x0;
            Eigen::VectorXd y0;
            design(model.series, others, r, x0, y0);
            const Fit reduced = FitDesign(x0, y0);
            const double d2 = static_cast<double>(r.size()) - static_cast<double>(x.cols());
            if (exact) {
                const bool reducedExact = reduced.rss <= kExactFit * scale;
                input.fValue = reducedExact ? 0.0 : std::numeric_limits<double>::infinity();
                input.pValue = reducedExact ? 1.0 : 0.0;
            } else if (d2 >= 1.0 && fit.fullRank) {
                input.fValue = std::max(0.0, (reduced.rss - fit.rss) / static_cast<double>(lags_)) /
                               (fit.rss / d2);
                input.pValue = PValue(input.fValue, static_cast<double>(lags_), d2);
            }
            model.inputs.push_back(std::move(input));
        }
        model.fitted = true;
    }

    size_t lags() const { return lags_; }

  private:
    const TsdpResult& data_;
    const TcmModelSet& set_;
    size_t lags_;
};

Json FiniteOrNull(double v) {
    return std::isfinite(v) ? Json(v) : Json(nullptr);
}

}  // namespace

TcmSettings ParseTcmSettings(const Json& configuration) {
    TcmSettings s;
    if (!configuration.is_object())
        throw EngineError("tcm:build: the configuration must be an object");
    if (auto it = configuration.find("lags"); it != configuration.end()) {
        if (!it->is_number_integer() || it->get<int64_t>() < 1 || it->get<int64_t>() > 100)
            throw EngineError("tcm:build: \"lags\" must be an integer from 1 to 100");
        s.lags = it->get<int>();
    }
    if (auto it = configuration.find("significanceLevel"); it != configuration.end()) {
        if (!it->is_number() || !(it->get<double>() > 0.0 && it->get<double>() < 1.0))
            throw EngineError("tcm:build: \"significanceLevel\" must lie between 0 and 1");
        s.significanceLevel = it->get<double>();
    }
    if (auto it = configuration.find("maxInputs"); it != configuration.end()) {
        if (!it->is_number_integer() || it->get<int64_t>() < 0 || it->get<int64_t>() > 1000)
            throw EngineError("tcm:build: \"maxInputs\" must be an integer from 0 to 1000");
        s.maxInputs = it->get<int>();
    }
    s.targetMetrics = Names(configuration, "targetFieldList");
    s.inputMetrics = Names(configuration, "inputFieldList");
    return s;
}

TcmModelSet FitTcm(const TsdpResult& data, const TcmSettings& settings) {
    TcmModelSet set;
    set.settings = settings;
    auto listed = [](const std::vector<std::string>& list, const std::string& metric) {
        return list.empty() || std::find(list.begin(), list.end(), metric) != list.end();
    };
    for (const std::string& metric : settings.targetMetrics) {
        if (std::find(data.metrics.begin(), data.metrics.end(), metric) == data.metrics.end())
            throw EngineError("tcm:build: the target '" + metric + "' is not a metric");
    }
    for (const std::string& metric : settings.inputMetrics) {
        if (std::find(data.metrics.begin(), data.metrics.end(), metric) == data.metrics.end())
            throw EngineError("tcm:build: the input '" + metric + "' is not a metric");
    }
    std::vector<bool> isTarget;
    std::vector<bool> isInput;
    for (size_t c = 0; c < data.combinations.size(); ++c) {
        for (size_t m = 0; m < data.metrics.size(); ++m) {
            const bool target = listed(settings.targetMetrics, data.metrics[m]);
            const bool input = listed(settings.inputMetrics, data.metrics[m]);
            if (!target && !input)
                continue;
            set.seriesIds.push_back(data.seriesId(c, m));
            set.combination.push_back(c);
            set.metric.push_back(m);
            isTarget.push_back(target);
            isInput.push_back(input);
        }
    }
    const SeriesFitter fitter(data, set, settings.lags);
    const size_t minimum = 2 * fitter.lags() + 2;  // intercept and own lags, and a residual
    for (size_t s = 0; s < set.seriesIds.size(); ++s) {
        TcmSeriesModel model;
        model.series = s;
        model.target = isTarget[s];
        std::vector<size_t> inputs{s};
        const size_t usable = fitter.rows(s, inputs).size();
        if (usable < minimum) {
            model.notes.push_back("the series is too short for " + std::to_string(settings.lags) +
                                  " lags: " + std::to_string(usable) + " usable points, " +
                                  std::to_string(minimum) + " needed");
            set.models.push_back(std::move(model));
            continue;
        }
        if (model.target) {
            std::vector<bool> tried(set.seriesIds.size(), false);
            while (inputs.size() < static_cast<size_t>(settings.maxInputs) + 1) {
                std::optional<size_t> best;
                SeriesFitter::Test bestTest;
                const SeriesFitter::Base current = fitter.base(s, inputs);
                for (size_t c = 0; c < set.seriesIds.size(); ++c) {
                    if (c == s || !isInput[c] || tried[c])
                        continue;
                    SeriesFitter::Test test = fitter.addTest(s, inputs, c, current);
                    if (!test.usable) {
                        tried[c] = true;
                        model.notes.push_back("candidate " + set.seriesIds[c] +
                                              " dropped: " + test.why);
                        continue;
                    }
                    if (!best || test.p < bestTest.p ||
                        (test.p == bestTest.p && test.rss < bestTest.rss)) {
                        best = c;
                        bestTest = test;
                    }
                }
                if (!best || !(bestTest.p < settings.significanceLevel))
                    break;
                inputs.push_back(*best);
                tried[*best] = true;
            }
        }
        fitter.finish(model, inputs);
        set.models.push_back(std::move(model));
    }
    return set;
}

Json TcmGraphDocument(const TcmModelSet& set, const TsdpResult& data) {
    Json series = Json::array();
    for (size_t s = 0; s < set.seriesIds.size(); ++s) {
        Json dims = Json::array();
        for (size_t d = 0; d < data.dimensionFields.size(); ++d)
            dims.push_back(data.valueText(d, data.combinations[set.combination[s]][d]));
        series.push_back({{"id", set.seriesIds[s]},
                          {"metric", data.metrics[set.metric[s]]},
                          {"dimensionValues", std::move(dims)}});
    }
    Json targets = Json::array();
    for (const TcmSeriesModel& model : set.models) {
        if (!model.target || !model.fitted)
            continue;
        Json predictors = Json::array();
        Json indexSet = Json::array();
        for (const TcmInput& input : model.inputs) {
            Json lags = Json::array();
            Json weights = Json::array();
            for (size_t l = 0; l < input.coefficients.size(); ++l) {
                lags.push_back(l + 1);
                weights.push_back(FiniteOrNull(input.coefficients[l]));
            }
            indexSet.push_back(input.series);
            predictors.push_back({{"series", set.seriesIds[input.series]},
                                  {"lags", std::move(lags)},
                                  {"weights", std::move(weights)},
                                  {"pValue", FiniteOrNull(input.pValue)}});
        }
        targets.push_back({{"series", set.seriesIds[model.series]},
                           {"predictorIndexSet", std::move(indexSet)},
                           {"predictors", std::move(predictors)}});
    }
    return Json{{"version", 1},
                {"lags", set.settings.lags},
                {"series", std::move(series)},
                {"targets", std::move(targets)}};
}

Json TcmModelDocument(const TcmModelSet& set, const TsdpResult& data) {
    Json models = Json::array();
    for (const TcmSeriesModel& model : set.models) {
        Json entry{{"series", set.seriesIds[model.series]},
                   {"metric", data.metrics[set.metric[model.series]]},
                   {"kind", model.target ? "tcm" : "ar"},
                   {"fitted", model.fitted}};
        if (model.fitted) {
            entry["intercept"] = FiniteOrNull(model.intercept);
            Json inputs = Json::array();
            for (const TcmInput& input : model.inputs) {
                Json coefficients = Json::array();
                for (double c : input.coefficients)
                    coefficients.push_back(FiniteOrNull(c));
                inputs.push_back({{"series", set.seriesIds[input.series]},
                                  {"coefficients", std::move(coefficients)},
                                  {"fValue", FiniteOrNull(input.fValue)},
                                  {"pValue", FiniteOrNull(input.pValue)}});
            }
            entry["inputs"] = std::move(inputs);
            entry["fit"] = {{"rSquared", FiniteOrNull(model.rSquared)},
                            {"rmse", FiniteOrNull(model.rmse)},
                            {"observations", model.observations},
                            {"parameters", model.parameters}};
        }
        entry["notes"] = model.notes;
        models.push_back(std::move(entry));
    }
    return Json{{"version", 1},
                {"lags", set.settings.lags},
                {"significanceLevel", set.settings.significanceLevel},
                {"maxInputs", set.settings.maxInputs},
                {"timePoints", data.periods},
                {"models", std::move(models)}};
}

std::string TcmStatXml(const TsdpResult& data) {
    std::vector<EngineField> fields;
    std::vector<std::vector<DistinctValue>> values;
    for (size_t d = 0; d < data.dimensionFields.size(); ++d) {
        fields.push_back(data.dimensionFields[d]);
        std::vector<DistinctValue> list;
        const bool text = data.dimensionFields[d].storage == Storage::String;
        const bool integer = data.dimensionFields[d].storage == Storage::Integer;
        for (size_t v = 0; v < data.dimensionValues[d].size(); ++v) {
            if (text) {
                list.push_back({"string", data.dimensionValues[d][v].text});
            } else {
                Json number = data.dimensionValues[d][v].number;
                list.push_back(
                    {integer ? "integer" : "real", integer ? std::to_string(static_cast<int64_t>(
                                                                 data.dimensionValues[d][v].number))
                                                           : number.dump()});
            }
        }
        values.push_back(std::move(list));
    }
    for (const EngineField& field : data.timeFields) {
        fields.push_back(field);
        values.emplace_back();
    }
    for (const std::string& metric : data.metrics) {
        EngineField field;
        field.name = metric;
        field.storage = Storage::Real;
        field.measure = Measure::Continuous;
        fields.push_back(field);
        values.emplace_back();
    }
    EngineField metricField;
    metricField.name = "metricField";
    metricField.storage = Storage::String;
    metricField.measure = Measure::Nominal;
    metricField.role = "none";
    fields.push_back(metricField);
    std::vector<DistinctValue> metricNames;
    for (const std::string& metric : data.metrics)
        metricNames.push_back({"string", metric});
    values.push_back(std::move(metricNames));

    pugi::xml_document document;
    pugi::xml_node root = document.append_child("StatXML");
    root.append_attribute("version") = 1;
    AppendSummaryDataModel(root, fields, values);
    return SerializeXml(document);
}

}  // namespace qelocal
