// Descriptives of 1M records x 10 numeric fields through the local engine's computation, next to a
// plain loop that pulls the same records and only adds their values up.
#include <benchmark/benchmark.h>

#include <csv.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/stats/Descriptives.h"

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
    // Not inlined into either side, so both pay the same for producing a value.
    [[gnu::noinline]] Cell cell(size_t index) override {
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
    // Kept out of line, so that a caller who knows the type pays a call as the engine does.
    [[gnu::noinline]] uint32_t getRecordValue(size_t index, const void** data,
                                              size_t* length) override {
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
        // The pointer passes through an optimisation barrier, so the compiler no longer knows the
        // object's type: every call goes through the interface's virtual table, as the engine's.
        EmbeddedQE::RowDataIterator* it = &concrete;
        benchmark::DoNotOptimize(it);
        double sum = 0;
        while (it->nextRecord() == 0) {
            for (size_t i = 0; i < kFields; ++i) {
                const void* data = nullptr;
                size_t length = 0;
                it->getRecordValue(i, &data, &length);
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

// A CSV file of 200k records x 10 numeric fields, made once per process.
constexpr uint64_t kCsvRows = 200000;

const std::string& CsvFile() {
    static const std::string path = [] {
        std::string p = std::filesystem::temp_directory_path().string() + "/qeinteg_bench_" +
                        std::to_string(::getpid()) + ".csv";
        std::ofstream out(p);
        for (size_t i = 0; i < kFields; ++i)
            out << (i ? "," : "") << "f" << i;
        out << "\n";
        for (uint64_t r = 0; r < kCsvRows; ++r) {
            for (size_t i = 0; i < kFields; ++i)
                out << (i ? "," : "") << Value(r, i, 0);
            out << "\n";
        }
        std::atexit([] { std::remove(CsvFile().c_str()); });
        return p;
    }();
    return path;
}

// Baseline: libcsv parsing the file and converting every cell to a number.
void BM_CsvPlainParse(benchmark::State& state) {
    const std::string& path = CsvFile();
    for (auto _ : state) {
        struct Sum {
            double total = 0;
        } sum;
        csv_parser parser;
        csv_init(&parser, 0);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        char buffer[1 << 16];
        size_t n = 0;
        auto onField = [](void* text, size_t length, void* data) {
            std::string cell(static_cast<const char*>(text), length);
            static_cast<Sum*>(data)->total += std::strtod(cell.c_str(), nullptr);
        };
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            csv_parse(&parser, buffer, n, onField, nullptr, &sum);
        }
        csv_fini(&parser, onField, nullptr, &sum);
        csv_free(&parser);
        std::fclose(f);
        benchmark::DoNotOptimize(sum.total);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCsvRows));
}

// The engine end to end: read the CSV (storage inference pass plus reading pass), summarise, write
// the summary archive.
void BM_CsvDescriptivesJob(benchmark::State& state) {
    const std::string& path = CsvFile();
    const std::string out = path + ".stat.zip";
    using Json = nlohmann::ordered_json;
    const Json reader{
        {"filesystem",
         {{"locations",
           Json::array({{{"path", path},
                         {"parser", {{"name", "csv"}, {"config", {{"hasHeader", true}}}}}}})}}}};
    const Json outCon = Json::array({{{"name", "StatXML"}, {"uri", out}}});
    for (auto _ : state) {
        JobEnvironment env;
        RunPipelines({{EngineStep{"", "read", {reader}, 0},
                       EngineStep{"descriptives",
                                  "descriptives",
                                  {Json{{"maxNOfDistinctValues", 10000}}, outCon},
                                  0}}},
                     env);
    }
    std::remove(out.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCsvRows));
}

// One record of `width` fields named w0, w1, ...: the shape of a very wide header.
class WideSource final : public RowSource {
  public:
    explicit WideSource(size_t width) {
        for (size_t i = 0; i < width; ++i)
            fields_.push_back(EngineField{"w" + std::to_string(i), Storage::Real});
    }
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return !done_ && (done_ = true); }
    Cell cell(size_t index) override {
        Cell c;
        c.missing = false;
        c.number = static_cast<double>(index);
        return c;
    }

  private:
    std::vector<EngineField> fields_;
    bool done_ = false;
};

// Every field of a wide record asked for by name. Field lookup by hash keeps this linear in the
// width: the ratio to the baseline below stays flat from 8k to 64k fields (a search per name made
// 64k fields cost 27 s).
void BM_WideRecordByName(benchmark::State& state) {
    const size_t width = static_cast<size_t>(state.range(0));
    DescriptivesSettings settings;
    settings.inputFieldsGiven = true;
    for (size_t i = 0; i < width; ++i)
        settings.inputFields.push_back("w" + std::to_string(width - 1 - i));
    for (auto _ : state) {
        WideSource source(width);
        benchmark::DoNotOptimize(ComputeDescriptives(source, settings));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * width));
}

// Baseline: the same record with every field taken by position.
void BM_WideRecordByPosition(benchmark::State& state) {
    const size_t width = static_cast<size_t>(state.range(0));
    DescriptivesSettings settings;
    for (auto _ : state) {
        WideSource source(width);
        benchmark::DoNotOptimize(ComputeDescriptives(source, settings));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * width));
}

// The layout `qeinteg describe` is measured on (bench/describe-vs-duckdb.sh): an id, six reals of
// different precision, a count, a category and a timestamp a minute apart; 200k records.
const std::string& DescribeFile() {
    static const std::string path = [] {
        std::string p = std::filesystem::temp_directory_path().string() + "/qeinteg_describe_" +
                        std::to_string(::getpid()) + ".csv";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fprintf(f, "id,a,b,c,d,e,f,n,category,time\n");
        static const char* const kCategories[] = {"alpha",   "beta", "gamma", "delta",
                                                  "epsilon", "zeta", "eta",   "theta"};
        for (uint64_t r = 0; r < kCsvRows; ++r) {
            const uint64_t h = r * 2654435761u % 1000003u;
            const int64_t minutes = static_cast<int64_t>(r);
            std::fprintf(f,
                         "%llu,%.4f,%.3f,%.5f,%.2f,%.4f,%.3f,%llu,%s,2000-%02d-%02d %02d:%02d:00\n",
                         static_cast<unsigned long long>(r), 100 + (h % 3000) / 100.0,
                         (static_cast<double>(h) - 500000) / 500.0, (h % 100000) / 100000.0,
                         (static_cast<double>(h) - 500000) / 50.0, (h % 13000) / 100.0,
                         (h % 1000) / 1000.0, static_cast<unsigned long long>(h % 1000),
                         kCategories[h % 8], static_cast<int>(1 + minutes / 40320 % 12),
                         static_cast<int>(1 + minutes / 1440 % 28),
                         static_cast<int>(minutes / 60 % 24), static_cast<int>(minutes % 60));
        }
        std::fclose(f);
        std::atexit([] { std::remove(DescribeFile().c_str()); });
        return p;
    }();
    return path;
}

// Baseline: one plain libcsv parse of the describe file, every numeric cell through strtod into a
// running sum, the texts touched once.
void BM_DescribeFilePlainParse(benchmark::State& state) {
    const std::string& path = DescribeFile();
    struct Sum {
        double total = 0;
        size_t field = 0;
        size_t bytes = 0;
    };
    std::vector<char> buffer(size_t{1} << 20);
    for (auto _ : state) {
        Sum sum;
        csv_parser parser;
        csv_init(&parser, CSV_APPEND_NULL);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        size_t n = 0;
        auto onField = [](void* text, size_t length, void* data) {
            auto* s = static_cast<Sum*>(data);
            if (s->field++ < 8)
                s->total += std::strtod(static_cast<const char*>(text), nullptr);
            else
                s->bytes += length;
        };
        auto onRecord = [](int, void* data) { static_cast<Sum*>(data)->field = 0; };
        while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
            csv_parse(&parser, buffer.data(), n, onField, onRecord, &sum);
        csv_fini(&parser, onField, onRecord, &sum);
        csv_free(&parser);
        std::fclose(f);
        benchmark::DoNotOptimize(sum.total);
        benchmark::DoNotOptimize(sum.bytes);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

// A source that hands out its rows a value at a time (a virtual call per value) and keeps no row
// arrays, as many of the engine's sources do.
class ByValue final : public RowSource {
  public:
    explicit ByValue(RowSource& inner) : inner_(inner) {}
    const std::vector<EngineField>& fields() const override { return inner_.fields(); }
    bool next() override { return inner_.next(); }
    Cell cell(size_t index) override { return inner_.cell(index); }
    double fraction() const override { return inner_.fraction(); }

  private:
    RowSource& inner_;
};

// The engine's part of `qeinteg describe` on the same file: the one-pass read with inferred
// storages, the summary of every field (counts without value lists) and its archive; byValue
// takes the rows through ByValue instead of the reader's row arrays.
void DescribeFileJob(benchmark::State& state, bool byValue) {
    const std::string& path = DescribeFile();
    const std::string out = path + (byValue ? ".byvalue.zip" : ".stat.zip");
    using Json = nlohmann::ordered_json;
    const Json reader{
        {"filesystem",
         {{"locations",
           Json::array({{{"path", path},
                         {"parser", {{"name", "csv"}, {"config", {{"hasHeader", true}}}}}}})}}}};
    const EngineStep read{"", "read", {reader}, 0};
    const EngineStep describe{"descriptives",
                              "descriptives",
                              {Json{{"maxNOfDistinctValues", 10000}, {"listDistinctValues", false}},
                               Json::array({{{"name", "StatXML"}, {"uri", out}}})},
                              0};
    for (auto _ : state) {
        JobEnvironment env;
        std::unique_ptr<RowSource> source = OpenReadSource(read, env, true);
        if (byValue) {
            ByValue values(*source);
            RunDescriptivesStep(describe, values, env, 0, 1);
        } else {
            RunDescriptivesStep(describe, *source, env, 0, 1);
        }
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void BM_DescribeFileJob(benchmark::State& state) {
    DescribeFileJob(state, false);
}

// The pairing shows what the row arrays save.
void BM_DescribeFileJobByValue(benchmark::State& state) {
    DescribeFileJob(state, true);
}

}  // namespace

BENCHMARK(BM_WideRecordByPosition)->Arg(8192)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideRecordByName)->Arg(8192)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvPlainParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvDescriptivesJob)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DescribeFilePlainParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DescribeFileJob)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DescribeFileJobByValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPull)->Unit(benchmark::kMillisecond);
// Argument: distinct values per field (0: nearly all differ, so the distinct set stops early).
BENCHMARK(BM_Descriptives)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPullIterator)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DescriptivesIterator)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
