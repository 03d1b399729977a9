// The local engine's operators against hand-written single-pass loops over the same in-memory
// columns, and its CSV reader against a plain libcsv parse of the same file. Each pair runs in one
// process so that the ratio is meaningful on a noisy machine. Row counts come from
// QEINTEG_BENCH_ROWS (default 2,000,000; the join's build side is a tenth of it).
#include <benchmark/benchmark.h>

#include <csv.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <unordered_map>

#include "qeinteg/platform/engine/exec/AggregateOperator.h"
#include "qeinteg/platform/engine/exec/JoinOperator.h"
#include "qeinteg/platform/engine/exec/RecordOperators.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/CsvScanner.h"
#include "qeinteg/platform/engine/io/RowSourceStream.h"

using namespace qelocal;
using Json = nlohmann::ordered_json;

namespace {

size_t Rows() {
    const char* text = std::getenv("QEINTEG_BENCH_ROWS");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 2000000;
}

constexpr size_t kGroups = 100000;

// Six columns: k (integer key, kGroups values), a..e (reals in 0..1).
struct Table {
    std::vector<EngineField> fields;
    std::vector<Batch> batches;
    size_t rows = 0;
};

Table MakeTable(size_t rows, size_t keys, uint64_t seed, bool uniqueKeys) {
    Table t;
    t.rows = rows;
    t.fields = {{"k", Storage::Integer}, {"a", Storage::Real}, {"b", Storage::Real},
                {"c", Storage::Real},    {"d", Storage::Real}, {"e", Storage::Real}};
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    for (size_t start = 0; start < rows; start += kBatchRows) {
        Batch b;
        b.reset(t.fields);
        const size_t n = std::min(kBatchRows, rows - start);
        for (size_t i = 0; i < n; ++i) {
            b.columns[0].appendNumber(
                static_cast<double>(uniqueKeys ? start + i : random() % keys));
            for (size_t c = 1; c < 6; ++c)
                b.columns[c].appendNumber(unit(random));
        }
        b.rows = n;
        t.batches.push_back(std::move(b));
    }
    return t;
}

const Table& Big() {
    static const Table table = MakeTable(Rows(), kGroups, 1, false);
    return table;
}
const Table& Small() {
    static const Table table = MakeTable(Rows() / 10, 0, 2, true);
    return table;
}

// Hands out copies of a table's batches.
class TableStream final : public BatchStream {
  public:
    explicit TableStream(const Table& table) : table_(table) {}
    const std::vector<EngineField>& fields() const override { return table_.fields; }
    bool next(Batch& out) override {
        if (index_ >= table_.batches.size())
            return false;
        out = table_.batches[index_++];
        return true;
    }

  private:
    const Table& table_;
    size_t index_ = 0;
};

void PeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

ExecContext& Context() {
    static ExecContext context;
    return context;
}

// --- group-by: key k, sum a, mean b, min c, max d ---

void BM_GroupBy_Engine(benchmark::State& state) {
    const Table& t = Big();
    const Json conf = Json::parse(
        R"({"output":[{"input":"k","function":"key"},{"input":"a","function":"sum"},)"
        R"({"input":"b","function":"mean"},{"input":"c","function":"min"},{"input":"d","function":"max"}]})");
    for (auto _ : state) {
        AggregateOperator op(std::make_unique<TableStream>(t), conf, "aggregate", Context());
        Batch out;
        size_t groups = 0;
        while (op.next(out))
            groups += out.rows;
        benchmark::DoNotOptimize(groups);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.rows));
    PeakMemory(state);
}

void BM_GroupBy_Loop(benchmark::State& state) {
    const Table& t = Big();
    for (auto _ : state) {
        std::unordered_map<double, uint32_t> index;
        index.reserve(kGroups * 2);
        std::vector<double> keys, sum, meanSum, meanN, mn, mx;
        for (const Batch& b : t.batches) {
            for (size_t i = 0; i < b.rows; ++i) {
                auto [it, added] =
                    index.try_emplace(b.columns[0].num[i], static_cast<uint32_t>(keys.size()));
                const uint32_t g = it->second;
                if (added) {
                    keys.push_back(b.columns[0].num[i]);
                    sum.push_back(0);
                    meanSum.push_back(0);
                    meanN.push_back(0);
                    mn.push_back(b.columns[3].num[i]);
                    mx.push_back(b.columns[4].num[i]);
                }
                sum[g] += b.columns[1].num[i];
                meanSum[g] += b.columns[2].num[i];
                meanN[g] += 1;
                mn[g] = std::min(mn[g], b.columns[3].num[i]);
                mx[g] = std::max(mx[g], b.columns[4].num[i]);
            }
        }
        for (size_t g = 0; g < keys.size(); ++g)
            meanSum[g] /= meanN[g];
        benchmark::DoNotOptimize(meanSum.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.rows));
    PeakMemory(state);
}

// --- inner hash join: big (k) against small (unique k) ---

void BM_HashJoin_Engine(benchmark::State& state) {
    const Table& big = Big();
    const Table& small = Small();
    const Json conf = Json::parse(
        R"({"matchFields":[{"big":"k","small":"k"}],"outputFields":{"big":["k","a"],"small":["b"]},"joinType":"Inner"})");
    for (auto _ : state) {
        std::vector<JoinInput> inputs;
        inputs.push_back(JoinInput{"big", std::make_unique<TableStream>(big)});
        inputs.push_back(JoinInput{"small", std::make_unique<TableStream>(small)});
        JoinOperator op(std::move(inputs), conf, "join", Context());
        Batch out;
        size_t rows = 0;
        while (op.next(out))
            rows += out.rows;
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (big.rows + small.rows)));
    PeakMemory(state);
}

void BM_HashJoin_Loop(benchmark::State& state) {
    const Table& big = Big();
    const Table& small = Small();
    for (auto _ : state) {
        std::unordered_map<double, std::vector<std::pair<size_t, size_t>>> table;
        table.reserve(small.rows * 2);
        for (size_t bi = 0; bi < small.batches.size(); ++bi) {
            const Batch& b = small.batches[bi];
            for (size_t i = 0; i < b.rows; ++i)
                table[b.columns[0].num[i]].emplace_back(bi, i);
        }
        std::vector<double> k, a, bOut;
        k.reserve(kBatchRows);
        size_t rows = 0;
        for (const Batch& b : big.batches) {
            for (size_t i = 0; i < b.rows; ++i) {
                auto it = table.find(b.columns[0].num[i]);
                if (it == table.end())
                    continue;
                for (auto [bi, row] : it->second) {
                    k.push_back(b.columns[0].num[i]);
                    a.push_back(b.columns[1].num[i]);
                    bOut.push_back(small.batches[bi].columns[2].num[row]);
                    if (k.size() == kBatchRows) {
                        rows += k.size();
                        k.clear();
                        a.clear();
                        bOut.clear();
                    }
                }
            }
        }
        benchmark::DoNotOptimize(rows += k.size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (big.rows + small.rows)));
    PeakMemory(state);
}

// --- filter + derive: keep a > 0.5 && b < 0.8, derive z = a * 2 + c ---

void BM_FilterDerive_Engine(benchmark::State& state) {
    const Table& t = Big();
    for (auto _ : state) {
        auto filter = std::make_unique<FilterRecordsOperator>(
            std::make_unique<TableStream>(t), "ctx => x => x.a > 0.5 && x.b < 0.8", "filter");
        DeriveOperator derive(std::move(filter), "ctx => x => (\"z\", x.a * 2 + x.c)", false,
                              "derive");
        Batch out;
        double total = 0;
        while (derive.next(out))
            total += out.columns.back().num[0];
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.rows));
    PeakMemory(state);
}

void BM_FilterDerive_Loop(benchmark::State& state) {
    const Table& t = Big();
    for (auto _ : state) {
        double total = 0;
        Batch out;
        for (const Batch& b : t.batches) {
            out.reset(t.fields);
            Column z;
            for (size_t i = 0; i < b.rows; ++i) {
                const double a = b.columns[1].num[i];
                if (!(a > 0.5 && b.columns[2].num[i] < 0.8))
                    continue;
                for (size_t c = 0; c < 6; ++c)
                    out.columns[c].appendNumber(b.columns[c].num[i]);
                z.appendNumber(a * 2 + b.columns[3].num[i]);
            }
            if (!z.num.empty())
                total += z.num[0];
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.rows));
    PeakMemory(state);
}

// --- CSV read ---

const std::string& CsvFile() {
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / "qeinteg_engine_bench.csv").string();
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fputs("k,a,b,c,d,e\n", f);
        const Table& t = Big();
        const size_t rows = std::min<size_t>(t.rows, 1000000);
        size_t written = 0;
        for (const Batch& b : t.batches) {
            for (size_t i = 0; i < b.rows && written < rows; ++i, ++written) {
                std::fprintf(f, "%.0f,%.6f,%.6f,%.6f,%.6f,%.6f\n", b.columns[0].num[i],
                             b.columns[1].num[i], b.columns[2].num[i], b.columns[3].num[i],
                             b.columns[4].num[i], b.columns[5].num[i]);
            }
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

std::vector<EngineField> CsvFields() {
    return {{"k", Storage::Integer}, {"a", Storage::Real}, {"b", Storage::Real},
            {"c", Storage::Real},    {"d", Storage::Real}, {"e", Storage::Real}};
}

void BM_CsvRead_Engine(benchmark::State& state) {
    const std::string& path = CsvFile();
    size_t rows = 0;
    for (auto _ : state) {
        RowSourceStream stream(std::make_unique<CsvRowSource>(path, true, CsvFields()), Context(),
                               0, 1);
        Batch b;
        rows = 0;
        while (stream.next(b))
            rows += b.rows;
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows));
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
    PeakMemory(state);
}

struct PlainParse {
    std::vector<std::vector<double>> columns = std::vector<std::vector<double>>(6);
    size_t field = 0;
    bool header = true;
};

void BM_CsvRead_Libcsv(benchmark::State& state) {
    const std::string& path = CsvFile();
    size_t rows = 0;
    for (auto _ : state) {
        PlainParse parse;
        csv_parser parser;
        csv_init(&parser, CSV_APPEND_NULL);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        char buffer[1 << 16];
        size_t n = 0;
        auto onField = [](void* text, size_t, void* self) {
            auto* p = static_cast<PlainParse*>(self);
            if (!p->header)
                p->columns[p->field].push_back(
                    std::strtod(static_cast<const char*>(text), nullptr));
            ++p->field;
        };
        auto onRecord = [](int, void* self) {
            auto* p = static_cast<PlainParse*>(self);
            p->field = 0;
            p->header = false;
        };
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            csv_parse(&parser, buffer, n, onField, onRecord, &parse);
        csv_fini(&parser, onField, onRecord, &parse);
        csv_free(&parser);
        std::fclose(f);
        rows = parse.columns[0].size();
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows));
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
    PeakMemory(state);
}

// The two tokenisers on their own, cut to the same work: split the file into cells and touch each
// cell's text once. libcsv (strict, as the reader used it) copies every cell into its own buffer
// and calls back per cell; the state machine scans the read buffer with a byte table and memchr
// and hands out views.
void BM_CsvTokenize_StateMachine(benchmark::State& state) {
    const std::string& path = CsvFile();
    for (auto _ : state) {
        CsvScanner scanner(path);
        size_t bytes = 0;
        size_t cells = 0;
        while (scanner.next()) {
            for (size_t i = 0; i < scanner.size(); ++i)
                bytes += scanner.text(i).size();
            cells += scanner.size();
        }
        benchmark::DoNotOptimize(bytes);
        benchmark::DoNotOptimize(cells);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void BM_CsvTokenize_Libcsv(benchmark::State& state) {
    const std::string& path = CsvFile();
    struct Count {
        size_t bytes = 0;
        size_t cells = 0;
    };
    std::vector<char> buffer(size_t{1} << 20);
    for (auto _ : state) {
        Count count;
        csv_parser parser;
        csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        size_t n = 0;
        auto onField = [](void*, size_t length, void* self) {
            auto* c = static_cast<Count*>(self);
            c->bytes += length;
            ++c->cells;
        };
        while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
            csv_parse(&parser, buffer.data(), n, onField, nullptr, &count);
        csv_fini(&parser, onField, nullptr, &count);
        csv_free(&parser);
        std::fclose(f);
        benchmark::DoNotOptimize(count.bytes);
        benchmark::DoNotOptimize(count.cells);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

// The reader without a data model: storages inferred in the same single pass that delivers.
void BM_CsvRead_EngineOnePass(benchmark::State& state) {
    const std::string& path = CsvFile();
    for (auto _ : state) {
        CsvRowSource source(path, true, std::nullopt, {}, CsvTyping::Provisional);
        double sum = 0;
        const size_t n = source.fields().size();
        while (source.next()) {
            for (size_t i = 0; i < n; ++i)
                sum += source.cell(i).number;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
    PeakMemory(state);
}

}  // namespace

BENCHMARK(BM_CsvTokenize_StateMachine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvTokenize_Libcsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvRead_EngineOnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBy_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBy_Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashJoin_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashJoin_Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterDerive_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterDerive_Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvRead_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvRead_Libcsv)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
