// Rows and values per second through QERawDataIterator (nextRecord + getRecordValue), each next to
// a plain loop that reads the same values straight from the host's case buffers, for numeric
// fields and for string fields under a UTF-8 host and a windows-1252 host (which reads from the
// converted copy); and the local engine's reader (RowSourceStream over IteratorRowSource) making
// its column batches of the same rows through the iterator's batch face and, for comparison,
// value by value, each batch column summed in its own running total. Heap allocations are
// counted with a global operator new.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/io/RowSourceStream.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr long kRows = 1000000;
constexpr int kNumericFields = 10;
constexpr int kStringFields = 5;
constexpr int kStringWidth = 16;
using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

const HostDataset& NumericData() {
    static const HostDataset* data = [] {
        auto* d = new HostDataset();
        for (int k = 0; k < kNumericFields; ++k) {
            TAVO_Variable v("n" + std::to_string(k), 0);
            d->AddVariable(std::move(v));
        }
        d->ReserveCases(kRows);
        for (long r = 0; r < kRows; ++r) {
            d->AddCase();
            for (int k = 0; k < kNumericFields; ++k) {
                d->SetNumeric(r, k, (r % 97 == 0 && k == 3) ? SYSMIS : r * 0.5 + k);
            }
        }
        return d;
    }();
    return *data;
}

// Host text in windows-1252 (valid UTF-8 too for the ASCII rows, so both hosts can read it).
const HostDataset& StringData() {
    static const HostDataset* data = [] {
        auto* d = new HostDataset();
        for (int k = 0; k < kStringFields; ++k) {
            d->AddVariable(TAVO_Variable("s" + std::to_string(k), kStringWidth));
        }
        const char* words[] = {"alpha", "beta gamma", "d", "caf\xE9 cr\xE8me", "", "x y z w v"};
        d->ReserveCases(kRows);
        for (long r = 0; r < kRows; ++r) {
            d->AddCase();
            for (int k = 0; k < kStringFields; ++k)
                d->SetString(r, k, words[(r + k) % 6]);
        }
        return d;
    }();
    return *data;
}

// Each of the first `fields` columns' first slot in a case.
std::vector<int> SlotOffsets(const HostDataset& data, int fields) {
    std::vector<int> offsets;
    for (int k = 0; k < fields; ++k)
        offsets.push_back(data.SlotOffset(k));
    return offsets;
}

// Per-column totals added in column order, as every column pass gives its checksum.
double InOrder(const std::vector<double>& totals) {
    double sum = 0;
    for (double t : totals)
        sum += t;
    return sum;
}

// One full pass through the iterator; returns a checksum.
double IteratorPass(QERawDataIterator& it, int fields, bool strings) {
    double sum = 0;
    it.Rewind();
    while (it.nextRecord() == 0) {
        for (int k = 0; k < fields; ++k) {
            const void* data = nullptr;
            size_t length = 0;
            it.getRecordValue(static_cast<size_t>(k), &data, &length);
            if (data == nullptr)
                continue;
            sum += strings
                       ? static_cast<double>(length + static_cast<const unsigned char*>(data)[0])
                       : *static_cast<const double*>(data);
        }
    }
    return sum;
}

// The same values read straight from the case buffers (with the same missing and trim rules).
double PlainPass(const HostDataset& data, int fields, bool strings) {
    double sum = 0;
    const int slots = data.SlotsPerCase();
    const std::vector<int> offsets = SlotOffsets(data, fields);
    const OBS* base = data.CaseBuffer(0);
    for (long r = 0; r < data.CaseCount(); ++r) {
        const OBS* row = base + r * slots;
        for (int k = 0; k < fields; ++k) {
            if (strings) {
                const char* s = row[offsets[k]].s;
                int pos = kStringWidth - 1;
                while (pos >= 1 && (s[pos] == ' ' || s[pos] == '\n'))
                    --pos;
                sum += static_cast<double>(pos + 1 + static_cast<unsigned char>(s[0]));
            } else {
                const double v = row[offsets[k]].f;
                if (v != SYSMIS)
                    sum += v;
            }
        }
    }
    return sum;
}

// The engine pass's arithmetic the plain way: one running total per column in row order, then
// the totals in column order, so that both give the same checksum to the last bit.
double PlainColumnPass(const HostDataset& data, int fields, bool strings) {
    const int slots = data.SlotsPerCase();
    const std::vector<int> offsets = SlotOffsets(data, fields);
    std::vector<double> totals(static_cast<size_t>(fields), 0.0);
    const OBS* base = data.CaseBuffer(0);
    for (long r = 0; r < data.CaseCount(); ++r) {
        const OBS* row = base + r * slots;
        for (int k = 0; k < fields; ++k) {
            if (strings) {
                const char* s = row[offsets[k]].s;
                int pos = kStringWidth - 1;
                while (pos >= 1 && (s[pos] == ' ' || s[pos] == '\n'))
                    --pos;
                totals[k] += static_cast<double>(pos + 1 + static_cast<unsigned char>(s[0]));
            } else {
                const double v = row[offsets[k]].f;
                if (v != SYSMIS)
                    totals[k] += v;
            }
        }
    }
    return InOrder(totals);
}

// The least any reader that hands out column batches must do: the numbers copied the plain way,
// a block of rows at a time, into one array per column, then added as PlainColumnPass adds them.
// This is the floor for the engine's numeric pass, which also marks missing values.
double PlainTransposePass(const HostDataset& data, int fields) {
    constexpr long kBlock = 1024;
    const int slots = data.SlotsPerCase();
    const std::vector<int> offsets = SlotOffsets(data, fields);
    std::vector<std::vector<double>> columns(static_cast<size_t>(fields),
                                             std::vector<double>(kBlock));
    std::vector<double> totals(static_cast<size_t>(fields), 0.0);
    const OBS* base = data.CaseBuffer(0);
    for (long from = 0; from < data.CaseCount(); from += kBlock) {
        const long rows = std::min(kBlock, data.CaseCount() - from);
        for (int k = 0; k < fields; ++k) {
            const OBS* in = base + from * slots + offsets[k];
            double* out = columns[k].data();
            for (long r = 0; r < rows; ++r)
                out[r] = in[r * slots].f;
        }
        for (long r = 0; r < rows; ++r) {
            for (int k = 0; k < fields; ++k) {
                const double v = columns[k][r];
                if (v != SYSMIS)
                    totals[k] += v;
            }
        }
    }
    return InOrder(totals);
}

void Report(benchmark::State& state, int fields, long allocations) {
    const double rows = static_cast<double>(kRows) * static_cast<double>(state.iterations());
    state.counters["rows_per_s"] = benchmark::Counter(rows, benchmark::Counter::kIsRate);
    state.counters["values_per_s"] = benchmark::Counter(rows * fields, benchmark::Counter::kIsRate);
    state.counters["allocs_per_row"] = static_cast<double>(allocations) / rows;
}

void BM_IteratorNumeric(benchmark::State& state) {
    qehost::testing::SetCodePage("UTF-8");
    QERawDataIterator it(NumericData(), std::vector<int>{}, Levels{}, false,
                         QERawDataIterator::Ignore, false);
    const long before = g_allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(IteratorPass(it, kNumericFields, false));
    Report(state, kNumericFields, g_allocations.load() - before);
}

void BM_PlainNumeric(benchmark::State& state) {
    const HostDataset& data = NumericData();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainPass(data, kNumericFields, false));
    Report(state, kNumericFields, 0);
}

void StringIterator(benchmark::State& state, const char* codePage) {
    qehost::testing::SetCodePage(codePage);
    QERawDataIterator it(StringData(), std::vector<int>{}, Levels{}, false,
                         QERawDataIterator::Ignore, false);
    const long before = g_allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(IteratorPass(it, kStringFields, true));
    Report(state, kStringFields, g_allocations.load() - before);
    qehost::testing::SetCodePage("UTF-8");
}

void BM_IteratorStringUtf8(benchmark::State& state) {
    StringIterator(state, "UTF-8");
}
void BM_IteratorStringCp1252(benchmark::State& state) {
    StringIterator(state, "WINDOWS-1252");
}

void BM_PlainString(benchmark::State& state) {
    const HostDataset& data = StringData();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainPass(data, kStringFields, true));
    Report(state, kStringFields, 0);
}

// The row interface alone: hides the batch face, so the engine falls back to two calls a value.
class ValueByValue final : public EmbeddedQE::RowDataIterator {
  public:
    explicit ValueByValue(EmbeddedQE::RowDataIterator& inner) : inner_(inner) {}
    std::string getName() override { return inner_.getName(); }
    std::string getDataModel() override { return inner_.getDataModel(); }
    uint32_t nextRecord() override { return inner_.nextRecord(); }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        return inner_.getRecordValue(index, data, length);
    }
    void dispose(JNIEnv* env) override { inner_.dispose(env); }
    uint32_t Rewind() override { return inner_.Rewind(); }

  private:
    EmbeddedQE::RowDataIterator& inner_;
};

// One full pass of the local engine's reader over the iterator, as an engine function receives it:
// column batches in the engine's own form (RowSourceStream), each column summed.
double EnginePass(QERawDataIterator& it, EmbeddedQE::RowDataIterator& face, bool strings) {
    it.Rewind();
    qelocal::ExecContext context;
    context.cancelled = [] { return false; };
    qelocal::RowSourceStream stream(std::make_unique<qelocal::IteratorRowSource>(face), context,
                                    0.0f, 1.0f);
    qelocal::Batch batch;
    std::vector<double> totals;
    while (stream.next(batch)) {
        // One running total per column, carried from batch to batch, added row by row across
        // the columns exactly as the plain column pass adds them, so that both loops have the
        // same arithmetic and the same chains of dependent additions.
        const size_t rows = batch.rows;
        const size_t columns = batch.columns.size();
        totals.resize(columns, 0.0);
        for (size_t r = 0; r < rows; ++r) {
            for (size_t k = 0; k < columns; ++k) {
                const qelocal::Column& c = batch.columns[k];
                if (!c.valid[r])
                    continue;
                totals[k] += strings ? static_cast<double>(c.str[r].size() +
                                                           static_cast<unsigned char>(c.str[r][0]))
                                     : c.num[r];
            }
        }
    }
    return InOrder(totals);
}

// The batch face alone: whole column batches summed into per-column totals, row by row across the
// columns as the plain column pass adds them.
double BatchPass(QERawDataIterator& it) {
    it.Rewind();
    EmbeddedQE::RowBatch batch;
    std::vector<double> totals;
    while (it.ReadBatch(batch, qelocal::IteratorRowSource::kBatchRows) == 0) {
        const size_t columns = batch.columns.size();
        totals.resize(columns, 0.0);
        for (size_t r = 0; r < batch.rows; ++r) {
            for (size_t k = 0; k < columns; ++k) {
                const double v = batch.columns[k].numbers[r];
                if (v != SYSMIS)
                    totals[k] += v;
            }
        }
    }
    return InOrder(totals);
}

void EnginePull(benchmark::State& state, bool batched, bool strings, const char* codePage) {
    qehost::testing::SetCodePage(codePage);
    const HostDataset& data = strings ? StringData() : NumericData();
    const int fields = strings ? kStringFields : kNumericFields;
    QERawDataIterator it(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    ValueByValue perValue(it);
    EmbeddedQE::RowDataIterator& face =
        batched ? static_cast<EmbeddedQE::RowDataIterator&>(it) : perValue;
    const long before = g_allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(EnginePass(it, face, strings));
    Report(state, fields, g_allocations.load() - before);
    qehost::testing::SetCodePage("UTF-8");
}

void BM_EngineBatchNumeric(benchmark::State& state) {
    EnginePull(state, true, false, "UTF-8");
}
void BM_EngineValueByValueNumeric(benchmark::State& state) {
    EnginePull(state, false, false, "UTF-8");
}
void BM_EngineBatchStringUtf8(benchmark::State& state) {
    EnginePull(state, true, true, "UTF-8");
}
void BM_EngineBatchStringCp1252(benchmark::State& state) {
    EnginePull(state, true, true, "WINDOWS-1252");
}

BENCHMARK(BM_PlainNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IteratorNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IteratorStringUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IteratorStringCp1252)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineValueByValueNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineBatchNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineBatchStringUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineBatchStringCp1252)->Unit(benchmark::kMillisecond);

// This thread's CPU seconds: the machines running these are shared, so wall time mostly measures
// the neighbours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Best of three passes, in CPU seconds.
template <typename F>
double Best(F pass) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const double start = ThreadSeconds();
        benchmark::DoNotOptimize(pass());
        best = std::min(best, ThreadSeconds() - start);
    }
    return best;
}

// The iterator against the plain loop, measured back to back.
void PrintRatios() {
    qehost::testing::SetCodePage("UTF-8");
    QERawDataIterator numeric(NumericData(), std::vector<int>{}, Levels{}, false,
                              QERawDataIterator::Ignore, false);
    const double plainN = Best([] { return PlainPass(NumericData(), kNumericFields, false); });
    const double iterN = Best([&] { return IteratorPass(numeric, kNumericFields, false); });
    ValueByValue perValue(numeric);
    const double engineN = Best([&] { return EnginePass(numeric, numeric, false); });
    const double engineSlowN = Best([&] { return EnginePass(numeric, perValue, false); });
    const double batchN = Best([&] { return BatchPass(numeric); });
    const double columnsN =
        Best([] { return PlainColumnPass(NumericData(), kNumericFields, false); });
    const double transposeN =
        Best([] { return PlainTransposePass(NumericData(), kNumericFields); });
    // The engine must see exactly the host's values: same checksum as the plain column totals.
    const bool sameN = EnginePass(numeric, numeric, false) ==
                       PlainColumnPass(NumericData(), kNumericFields, false);
    QERawDataIterator utf8(StringData(), std::vector<int>{}, Levels{}, false,
                           QERawDataIterator::Ignore, false);
    const double plainS = Best([] { return PlainPass(StringData(), kStringFields, true); });
    const double iterS = Best([&] { return IteratorPass(utf8, kStringFields, true); });
    const double engineS = Best([&] { return EnginePass(utf8, utf8, true); });
    const double columnsS = Best([] { return PlainColumnPass(StringData(), kStringFields, true); });
    const bool sameS =
        EnginePass(utf8, utf8, true) == PlainColumnPass(StringData(), kStringFields, true);
    qehost::testing::SetCodePage("WINDOWS-1252");
    QERawDataIterator cp(StringData(), std::vector<int>{}, Levels{}, false,
                         QERawDataIterator::Ignore, false);
    const double iterC = Best([&] { return IteratorPass(cp, kStringFields, true); });
    const double engineC = Best([&] { return EnginePass(cp, cp, true); });
    qehost::testing::SetCodePage("UTF-8");
    const auto line = [](const char* what, double plain, double iter, int fields) {
        std::printf("%-28s iterator %7.1f Mvalues/s  plain %7.1f Mvalues/s  ratio %.2fx\n", what,
                    kRows * fields / iter / 1e6, kRows * fields / plain / 1e6, iter / plain);
    };
    std::printf("\nIterator against the plain loop (best of 3 passes in CPU time, 1M rows):\n");
    line("numeric x10", plainN, iterN, kNumericFields);
    line("string x5, UTF-8 host", plainS, iterS, kStringFields);
    line("string x5, windows-1252 host", plainS, iterC, kStringFields);
    std::printf("\nThe engine's input source against the plain loop (same run):\n");
    line("batch face alone, numeric x10", plainN, batchN, kNumericFields);
    line("engine, batch, numeric x10", plainN, engineN, kNumericFields);
    line("engine, per value, numeric x10", plainN, engineSlowN, kNumericFields);
    line("engine, batch, string x5 UTF-8", plainS, engineS, kStringFields);
    line("engine, batch, string x5 1252", plainS, engineC, kStringFields);
    std::printf(
        "\nThe same against plain column totals (the engine pass's arithmetic, same run):\n");
    line("engine, batch, numeric x10", columnsN, engineN, kNumericFields);
    line("engine, batch, string x5 UTF-8", columnsS, engineS, kStringFields);
    std::printf(
        "\nThe same against a plain transpose into column arrays (the floor of any reader\n"
        "that hands out column batches, same run):\n");
    line("plain transpose, numeric x10", columnsN, transposeN, kNumericFields);
    line("engine, batch, numeric x10", transposeN, engineN, kNumericFields);
    std::printf("checksums equal to the plain column totals: numeric %s, string %s, transpose %s\n",
                sameN ? "yes" : "NO", sameS ? "yes" : "NO",
                PlainTransposePass(NumericData(), kNumericFields) ==
                        PlainColumnPass(NumericData(), kNumericFields, false)
                    ? "yes"
                    : "NO");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
