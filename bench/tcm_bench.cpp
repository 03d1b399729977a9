// Time-series preparation of many records into daily series, next to a plain loop that pulls the
// same records and sums them into the same series; and building temporal causal models on 100
// series, next to fitting each target's final design once without selection.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>

#include <cmath>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/tsdp/TcmModel.h"
#include "qeinteg/platform/engine/tsdp/Tsdp.h"

namespace {

using namespace qelocal;

constexpr int kStations = 1000;
constexpr int kRecordsPerDay = 10;  // per station

// Records of kStations stations (text dimension), a date and a value; records come day by day.
class GeneratedSource final : public RowSource {
  public:
    explicit GeneratedSource(uint64_t rows) : rows_(rows) {
        fields_.resize(3);
        fields_[0].name = "station";
        fields_[0].storage = Storage::String;
        fields_[1].name = "day";
        fields_[1].storage = Storage::Date;
        fields_[2].name = "value";
        fields_[2].storage = Storage::Real;
        for (int s = 0; s < kStations; ++s) {
            char name[16];
            std::snprintf(name, sizeof name, "s%04d", s);
            names_.emplace_back(name);
        }
    }
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return ++row_ < rows_; }
    // Not inlined into either side, so both pay the same for producing a value.
    [[gnu::noinline]] Cell cell(size_t index) override {
        Cell c;
        c.missing = false;
        if (index == 0) {
            c.text = names_[row_ % kStations];
        } else if (index == 1) {
            c.number = static_cast<double>(row_ / (kStations * kRecordsPerDay));
        } else {
            c.number = static_cast<double>((row_ * 2654435761u) % 1000u) / 8.0;
        }
        return c;
    }

  private:
    uint64_t rows_;
    uint64_t row_ = static_cast<uint64_t>(-1);
    std::vector<EngineField> fields_;
    std::vector<std::string> names_;
};

nlohmann::ordered_json DailySettings() {
    return {{"dimFieldList", {"station"}},
            {"metricFieldList", {"value"}},
            {"dateTimeField", "day"},
            {"timeInterval", {{"unit", "days"}}}};
}

void BM_TsdpDaily(benchmark::State& state) {
    const auto rows = static_cast<uint64_t>(state.range(0));
    const TsdpSettings settings = ParseTsdpSettings(DailySettings());
    for (auto _ : state) {
        GeneratedSource source(rows);
        TsdpResult result = PrepareSeries(source, settings);
        benchmark::DoNotOptimize(result.values.data());
        if (result.seriesCount() != kStations)
            state.SkipWithError("wrong series count");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows));
}

struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::string_view v) const { return std::hash<std::string_view>{}(v); }
};

// The plain loop: station text looked up in a hash table, day as an index, sums and counts.
void BM_PlainDailySums(benchmark::State& state) {
    const auto rows = static_cast<uint64_t>(state.range(0));
    const size_t days = rows / (kStations * kRecordsPerDay) + 1;
    for (auto _ : state) {
        GeneratedSource source(rows);
        std::unordered_map<std::string, size_t, ViewHash, std::equal_to<>> stations;
        std::vector<double> sums;
        std::vector<uint32_t> counts;
        while (source.next()) {
            const Cell station = source.cell(0);
            auto it = stations.find(station.text);
            if (it == stations.end()) {
                it = stations.emplace(std::string(station.text), stations.size()).first;
                sums.resize(stations.size() * days, 0.0);
                counts.resize(stations.size() * days, 0);
            }
            const auto day = static_cast<size_t>(source.cell(1).number);
            const size_t slot = it->second * days + day;
            sums[slot] += source.cell(2).number;
            ++counts[slot];
        }
        benchmark::DoNotOptimize(sums.data());
        benchmark::DoNotOptimize(counts.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows));
}

// 100 series of 1000 points: each depends on its own past and on the series before it.
TsdpResult ModelData() {
    constexpr size_t kSeries = 100;
    constexpr size_t kPoints = 1000;
    std::mt19937_64 random(42);
    std::normal_distribution<double> noise(0.0, 1.0);
    TsdpResult data;
    data.combinations = {{}};
    data.periods = kPoints;
    for (size_t s = 0; s < kSeries; ++s)
        data.metrics.push_back("m" + std::to_string(s));
    data.values.assign(kSeries * kPoints, 0.0);
    for (size_t t = 0; t < kPoints; ++t) {
        for (size_t s = 0; s < kSeries; ++s) {
            double v = noise(random);
            if (t > 0)
                v += 0.4 * data.values[s * kPoints + t - 1];
            if (t > 1 && s > 0)
                v += 0.8 * data.values[(s - 1) * kPoints + t - 2];
            data.values[s * kPoints + t] = v;
        }
    }
    return data;
}

void BM_TcmBuild(benchmark::State& state) {
    const TsdpResult data = ModelData();
    TcmSettings settings;
    settings.lags = 3;
    for (auto _ : state) {
        TcmModelSet models = FitTcm(data, settings);
        benchmark::DoNotOptimize(models.models.data());
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

// The least a fit can cost: one QR of each series' design with its own and three other series'
// lags (the size of a model with the maximum number of inputs), without any selection.
void BM_FinalFitsOnly(benchmark::State& state) {
    const TsdpResult data = ModelData();
    const size_t lags = 3;
    const size_t n = data.periods - lags;
    for (auto _ : state) {
        double total = 0.0;
        for (size_t s = 0; s < 100; ++s) {
            Eigen::MatrixXd x(static_cast<Eigen::Index>(n), 1 + 4 * lags);
            Eigen::VectorXd y(static_cast<Eigen::Index>(n));
            for (size_t t = lags; t < data.periods; ++t) {
                const auto r = static_cast<Eigen::Index>(t - lags);
                y[r] = data.value(0, s, t);
                x(r, 0) = 1.0;
                for (size_t i = 0; i < 4; ++i) {
                    for (size_t l = 1; l <= lags; ++l)
                        x(r, static_cast<Eigen::Index>(1 + i * lags + l - 1)) =
                            data.value(0, (s + i) % 100, t - l);
                }
            }
            Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(x);
            total += qr.solve(y).sum();
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

}  // namespace

// 10M records into 1000 daily series (1000 days of 10 records per station).
BENCHMARK(BM_TsdpDaily)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainDailySums)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TcmBuild)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FinalFitsOnly)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
