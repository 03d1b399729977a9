// Scoring 1,000 series over 12 forecast periods from a temporal causal model archive: the whole
// tcm:score function (prepared records in, scored records out), and its fit-and-forecast core,
// next to a plain loop that evaluates the same recurrences over the same arrays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/io/ZipOutput.h"
#include "qeinteg/platform/engine/tsdp/TcmArchive.h"
#include "qeinteg/platform/engine/tsdp/TcmForecast.h"
#include "qeinteg/platform/engine/tsdp/TcmModel.h"
#include "qeinteg/platform/engine/tsdp/TcmScoringSteps.h"
#include "qeinteg/platform/engine/tsdp/Tsdp.h"

namespace {

using namespace qelocal;
using Json = nlohmann::ordered_json;

constexpr size_t kStations = 500;  // two series each: a target y and its predictor x
constexpr size_t kPeriods = 100;
constexpr size_t kSpan = 12;
constexpr int kLags = 3;

// Prepared series and models: y_s[t] = 0.4 y_s[t-1] + 0.1 y_s[t-3] + 1.5 x_s[t-2] + 0.2 and
// x_s[t] = 0.6 x_s[t-1] - 0.2 x_s[t-2] + 0.1, written as a model archive.
struct Fixture {
    TsdpResult data;
    TcmModelSet models;
    std::string archive;

    Fixture() {
        std::mt19937_64 random(3);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        EngineField station;
        station.name = "station";
        station.storage = Storage::String;
        station.measure = Measure::Nominal;
        data.dimensionFields = {station};
        data.dimensionValues.resize(1);
        for (size_t s = 0; s < kStations; ++s) {
            char name[16];
            std::snprintf(name, sizeof name, "s%04zu", s);
            data.dimensionValues[0].push_back({0.0, name});
            data.combinations.push_back({s});
        }
        data.metrics = {"y", "x"};
        EngineField time;
        time.name = "$casecount";
        time.storage = Storage::Integer;
        time.role = "recordId";
        data.timeFields = {time};
        data.timeValues.emplace_back();
        for (size_t p = 0; p < kPeriods; ++p)
            data.timeValues[0].push_back(static_cast<double>(p + 1));
        data.periods = kPeriods;
        for (size_t s = 0; s < kStations; ++s) {
            std::vector<double> x(kPeriods), y(kPeriods);
            for (size_t t = 0; t < kPeriods; ++t) {
                x[t] = t < 2 ? uniform(random) : 0.6 * x[t - 1] - 0.2 * x[t - 2] + 0.1;
                y[t] = t < 3 ? uniform(random)
                             : 0.4 * y[t - 1] + 0.1 * y[t - 3] + 1.5 * x[t - 2] + 0.2;
            }
            data.values.insert(data.values.end(), y.begin(), y.end());
            data.values.insert(data.values.end(), x.begin(), x.end());
        }
        models.settings.lags = kLags;
        for (size_t s = 0; s < kStations; ++s) {
            for (size_t m = 0; m < 2; ++m) {
                models.seriesIds.push_back(data.seriesId(s, m));
                models.combination.push_back(s);
                models.metric.push_back(m);
            }
        }
        for (size_t s = 0; s < kStations; ++s) {
            TcmSeriesModel y;
            y.series = 2 * s;
            y.target = true;
            y.fitted = true;
            y.intercept = 0.2;
            y.inputs = {{2 * s, {0.4, 0.0, 0.1}, 0, 0}, {2 * s + 1, {0.0, 1.5, 0.0}, 0, 0}};
            TcmSeriesModel x;
            x.series = 2 * s + 1;
            x.fitted = true;
            x.intercept = 0.1;
            x.inputs = {{2 * s + 1, {0.6, -0.2, 0.0}, 0, 0}};
            models.models.push_back(std::move(y));
            models.models.push_back(std::move(x));
        }
        const Json settings{{"dimFieldList", {"station"}},
                            {"metricFieldList", {"y", "x"}},
                            {"cyclicFieldList", {"$casecount"}}};
        archive = (std::filesystem::temp_directory_path() / "tcm_score_bench.zip").string();
        WriteZipArchive(archive,
                        {{"TSDPOutput.json",
                          TsdpOutputDocument(settings, ParseTsdpSettings(settings), data).dump()},
                         {"StatXML.xml", TcmStatXml(data)},
                         {"TCMGraph.json", TcmGraphDocument(models, data).dump()},
                         {"TCMModel.json", TcmModelDocument(models, data).dump()}});
    }
};

const Fixture& Shared() {
    static const Fixture fixture;
    return fixture;
}

// The whole function: prepared records in, every target's fit and forecast out.
void BM_TcmScoreStep(benchmark::State& state) {
    const Fixture& f = Shared();
    Json ids = Json::array();
    for (size_t s = 0; s < kStations; ++s)
        ids.push_back(f.models.seriesIds[2 * s]);
    for (size_t s = 0; s < kStations; ++s)
        ids.push_back(f.models.seriesIds[2 * s + 1]);
    const Json conf{{"fieldSetting", {{"fieldNameList", {{"seriesIDList", Json::array({ids})}}}}},
                    {"forecast", {{"doForecast", true}, {"forecastSpan", kSpan}}},
                    {"fit", {{"doFit", true}}},
                    {"outputOriginalValue", true}};
    const EngineStep step{
        "tcm", "score", {conf, Json::array({{{"name", "InputTCMXML"}, {"uri", f.archive}}})}, 1};
    JobEnvironment env;
    size_t records = 0;
    for (auto _ : state) {
        std::unique_ptr<RowSource> input = PreparedRows(f.data);
        std::unique_ptr<RowSource> scored = RunTcmScoreStep(step, *input, env);
        records = 0;
        while (scored->next())
            ++records;
    }
    if (records != 2 * kStations * (kPeriods + kSpan))
        state.SkipWithError("wrong record count");
    state.counters["series"] = 2 * kStations;
}

// Reading the model archive alone (four JSON and XML entries of 1,000 series), which every call of
// the function pays once.
void BM_TcmArchiveOpen(benchmark::State& state) {
    const Fixture& f = Shared();
    for (auto _ : state) {
        const TcmArchive archive(f.archive);
        benchmark::DoNotOptimize(archive.series().data());
    }
}

// The fit-and-forecast core on the archive's models and the observed arrays.
void BM_TcmForecastCore(benchmark::State& state) {
    const Fixture& f = Shared();
    const TcmArchive archive(f.archive);
    std::vector<size_t> all(2 * kStations);
    for (size_t s = 0; s < all.size(); ++s)
        all[s] = s;
    const TcmForecast forecast(archive, all);
    std::vector<std::vector<double>> history(all.size());
    for (size_t s = 0; s < kStations; ++s) {
        for (size_t m = 0; m < 2; ++m) {
            const double* begin = &f.data.values[(s * 2 + m) * kPeriods];
            history[2 * s + m].assign(begin, begin + kPeriods);
        }
    }
    for (auto _ : state) {
        auto scores = forecast.score(history, kPeriods, kSpan, true);
        benchmark::DoNotOptimize(scores.data());
    }
    state.counters["series"] = 2 * kStations;
}

// Baseline: the same recurrences written out by hand over the same arrays.
void BM_PlainRecurrence(benchmark::State& state) {
    const Fixture& f = Shared();
    for (auto _ : state) {
        std::vector<double> fitted(2 * kStations * kPeriods), forecast(2 * kStations * kSpan);
        for (size_t s = 0; s < kStations; ++s) {
            std::vector<double> y(&f.data.values[s * 2 * kPeriods],
                                  &f.data.values[s * 2 * kPeriods] + kPeriods);
            std::vector<double> x(&f.data.values[(s * 2 + 1) * kPeriods],
                                  &f.data.values[(s * 2 + 1) * kPeriods] + kPeriods);
            for (size_t t = kLags; t < kPeriods; ++t) {
                fitted[2 * s * kPeriods + t] =
                    0.2 + 0.4 * y[t - 1] + 0.1 * y[t - 3] + 1.5 * x[t - 2];
                fitted[(2 * s + 1) * kPeriods + t] = 0.1 + 0.6 * x[t - 1] - 0.2 * x[t - 2];
            }
            for (size_t t = kPeriods; t < kPeriods + kSpan; ++t) {
                x.push_back(0.1 + 0.6 * x[t - 1] - 0.2 * x[t - 2]);
                y.push_back(0.2 + 0.4 * y[t - 1] + 0.1 * y[t - 3] + 1.5 * x[t - 2]);
                forecast[2 * s * kSpan + t - kPeriods] = y.back();
                forecast[(2 * s + 1) * kSpan + t - kPeriods] = x.back();
            }
        }
        benchmark::DoNotOptimize(fitted.data());
        benchmark::DoNotOptimize(forecast.data());
    }
    state.counters["series"] = 2 * kStations;
}

}  // namespace

BENCHMARK(BM_TcmScoreStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcmArchiveOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcmForecastCore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRecurrence)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
