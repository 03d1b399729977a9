#include "qeinteg/platform/engine/tsdp/TcmForecast.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qelocal {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

// The model's value at `t` from the values of its inputs at t-1..t-L; NaN when one is missing or
// lies before the first period.
double ModelValue(const TcmArchive::Series& model, const std::vector<std::vector<double>>& values,
                  size_t t) {
    double sum = model.intercept;
    for (const TcmArchive::Input& input : model.inputs) {
        const std::vector<double>& source = values[input.series];
        for (size_t l = 0; l < input.coefficients.size(); ++l) {
            if (l + 1 > t)
                return kMissing;
            sum += input.coefficients[l] * source[t - l - 1];
        }
    }
    return sum;
}

}  // namespace

TcmForecast::TcmForecast(const TcmArchive& archive, const std::vector<size_t>& requested)
    : archive_(archive), requested_(requested) {
    const auto& series = archive.series();
    std::vector<char> seen(series.size(), 0);
    std::vector<size_t> pending = requested;
    while (!pending.empty()) {
        const size_t s = pending.back();
        pending.pop_back();
        if (s >= series.size() || seen[s])
            continue;
        seen[s] = 1;
        const TcmArchive::Series& model = series[s];
        if (!model.fitted) {
            std::string why;
            for (const std::string& note : model.notes)
                why += (why.empty() ? ": " : "; ") + note;
            throw EngineError("series " + model.id + " (" + archive.label(s) +
                              ") has no fitted model" + why);
        }
        for (const TcmArchive::Input& input : model.inputs)
            pending.push_back(input.series);
    }
    for (size_t s = 0; s < series.size(); ++s) {
        if (seen[s])
            needed_.push_back(s);
    }
}

std::vector<TcmForecast::Scores> TcmForecast::score(const std::vector<std::vector<double>>& history,
                                                    size_t periods, size_t span, bool fit) const {
    const auto& series = archive_.series();
    // Observed values followed by the forecasts, per needed series.
    std::vector<std::vector<double>> values(series.size());
    for (size_t s : needed_) {
        values[s].assign(periods + span, kMissing);
        const std::vector<double>& observed = history.at(s);
        std::copy_n(observed.begin(), std::min(periods, observed.size()), values[s].begin());
    }
    // Every model reads lags of at least one period, so each future period depends only on
    // earlier ones: the needed series advance together one period at a time.
    for (size_t t = periods; t < periods + span; ++t) {
        for (size_t s : needed_)
            values[s][t] = ModelValue(series[s], values, t);
    }
    std::vector<Scores> scores;
    scores.reserve(requested_.size());
    for (size_t s : requested_) {
        Scores result;
        if (fit) {
            result.fitted.resize(periods);
            for (size_t t = 0; t < periods; ++t)
                result.fitted[t] = ModelValue(series[s], values, t);
        }
        result.forecast.assign(values[s].begin() + static_cast<std::ptrdiff_t>(periods),
                               values[s].end());
        scores.push_back(std::move(result));
    }
    return scores;
}

}  // namespace qelocal
