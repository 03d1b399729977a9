// Descriptives of 1M records x 10 numeric fields through the local engine's computation, next to a
// plain loop that pulls the same records and only adds their values up.
#include <benchmark/benchmark.h>

#include <cstring>

#include "qeinteg/platform/engine/DataModelXml.h"
#include "qeinteg/platform/engine/Descriptives.h"
#include "qeinteg/platform/engine/IteratorRowSource.h"

namespace {

using namespace qelocal;

constexpr uint64_t kRows = 1000000;
constexpr size_t kFields = 10;

std::vector<EngineField> Fields() {
    std::vector<EngineField> fields;
    for (size_t i = 0; i < kFields; ++i) {
        EngineField f;
        f.name = "f" + std::to_string(i);
        f.storage = Storage::Real;
        fields.push_back(f);
    }
    return fields;
}

// Deterministic values: `distinct` different values per field (0 means practically all differ).
inline double Value(uint64_t row, size_t field, uint64_t distinct) {
    const uint64_t h = (row * 2654435761u + field * 40503u) % 1000003u;
    return static_cast<double>(distinct == 0 ? h : h % distinct) / 8.0;
}

class GeneratedSource final : public RowSource {
  public:
    explicit GeneratedSource(uint64_t distinct) : fields_(Fields()), distinct_(distinct) {}
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return ++row_ < kRows; }
    Cell cell(size_t index) override {
        Cell c;
        c.missing = false;
        c.number = Value(row_, index, distinct_);
        return c;
    }

  private:
    std::vector<EngineField> fields_;
    uint64_t distinct_;
    uint64_t row_ = static_cast<uint64_t>(-1);
};

// The same records behind the engine's row-iterator interface, as a host dataset offers them.
class GeneratedIterator final : public EmbeddedQE::RowDataIterator {
  public:
    std::string getName() override { return "bench"; }
    std::string getDataModel() override { return DataModelDocument(Fields()); }
    uint32_t nextRecord() override { return ++row_ < kRows ? 0 : 1; }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        value_ = Value(row_, index, 0);
        *data = &value_;
        *length = sizeof value_;
        return 0;
    }
    void dispose(JNIEnv*) override {}

  private:
    uint64_t row_ = static_cast<uint64_t>(-1);
    double value_ = 0;
};

void BM_PlainPull(benchmark::State& state) {
    for (auto _ : state) {
        GeneratedSource source(0);
        double sum = 0;
        while (source.next()) {
            for (size_t i = 0; i < kFields; ++i)
                sum += source.cell(i).number;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

void BM_Descriptives(benchmark::State& state) {
    DescriptivesSettings settings;
    settings.maxDistinctValues = 10000;
    for (auto _ : state) {
        GeneratedSource source(static_cast<uint64_t>(state.range(0)));
        DescriptivesResult result = ComputeDescriptives(source, settings);
        benchmark::DoNotOptimize(result.records);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

void BM_PlainPullIterator(benchmark::State& state) {
    for (auto _ : state) {
        GeneratedIterator concrete;
        EmbeddedQE::RowDataIterator& it = concrete;
        benchmark::DoNotOptimize(&it);
        double sum = 0;
        while (it.nextRecord() == 0) {
            for (size_t i = 0; i < kFields; ++i) {
                const void* data = nullptr;
                size_t length = 0;
                it.getRecordValue(i, &data, &length);
                double v;
                std::memcpy(&v, data, sizeof v);
                sum += v;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

void BM_DescriptivesIterator(benchmark::State& state) {
    DescriptivesSettings settings;
    settings.maxDistinctValues = 10000;
    for (auto _ : state) {
        GeneratedIterator it;
        IteratorRowSource source(it);
        DescriptivesResult result = ComputeDescriptives(source, settings);
        benchmark::DoNotOptimize(result.records);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

}  // namespace

BENCHMARK(BM_PlainPull)->Unit(benchmark::kMillisecond);
// Argument: distinct values per field (0: nearly all differ, so the distinct set stops early).
BENCHMARK(BM_Descriptives)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPullIterator)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DescriptivesIterator)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
