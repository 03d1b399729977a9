// Rendering a 1M-cell table (three dimensions of 100 leaves) from its JSON document into the host
// output model, next to baselines measured in the same run: parsing the document alone, reading
// its packed cell values alone, and issuing the same dimensions, categories and cells to the host
// directly (and the same number of cells as a tall table of one column).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "common/BenchSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/PackedJson.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonPivot.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/viewer/PivotText.h"

namespace {

constexpr int kLeaves = 100;
constexpr std::int64_t kCells = std::int64_t{kLeaves} * kLeaves * kLeaves;

std::string Leaves(const char* prefix) {
    std::string out = "[";
    for (int i = 0; i < kLeaves; ++i) {
        out += (i ? "," : "");
        out += R"({"text":{"text":{"stringText":{"value":")" + std::string(prefix) +
               std::to_string(i) + R"("}}}})";
    }
    return out + "]";
}

const std::string& Document() {
    static const std::string text = [] {
        std::string doc = R"({"s":{"t":{"tableId":"big","title":{"text":{}},"dimensions":[)";
        const char* roles[] = {"layer", "row", "column"};
        const char* names[] = {"L", "R", "C"};
        for (int d = 0; d < 3; ++d) {
            doc += (d ? "," : "");
            doc += R"({"text":{"text":{"stringText":{"value":")" + std::string(names[d]) +
                   R"("}}},"role":")" + roles[d] + R"(","children":)" + Leaves(names[d]) + "}";
        }
        // Every cell gets two decimals: "**" in each of the three two-digit key fields.
        doc += R"(],"formats":[{"index":"******","format":{"decimals":2}}],)";
        doc += R"("cells":[{"cells":{"compactCells":{"index":"","value":[)";
        for (std::int64_t i = 0; i < kCells; ++i) {
            doc += (i ? "," : "");
            doc += std::to_string(i % 977) + ".5";
        }
        doc += "]}}}]}}}";
        return doc;
    }();
    return text;
}

void BM_ParseDocument(benchmark::State& state) {
    JNIObjectManager::getManager();
    const std::string& text = Document();
    for (auto _ : state) {
        JNIJSONObject document(text.c_str());
        benchmark::DoNotOptimize(document.isGood());
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_JsonToHostTable(benchmark::State& state) {
    JNIObjectManager::getManager();
    JNIJSONObject document(Document().c_str());
    jobject item = document.getByPath(document.getTop(), "s.t");
    dataDictionary dictionary;
    for (auto _ : state) {
        qehost::HostOutput::instance().reset();
        PnProcedure procedure("bench");
        jsonPivot builder(document, item, nullptr, dictionary);
        builder.createPivotTable(procedure.Heading(), "Big", false, "");
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}

// The JSON side's floor: the table's cell blocks copied out of Java in one call and every value
// read natively, with no table built.
void BM_CellValuesPacked(benchmark::State& state) {
    JNIObjectManager::getManager();
    JNIJSONObject document(Document().c_str());
    jobject cells = document.getByPath(document.getTop(), "s.t.cells");
    using Node = qeinteg::jni::PackedJson::Node;
    for (auto _ : state) {
        const qeinteg::jni::PackedJson tree = document.readTree(cells);
        double sum = 0;
        tree.root().forEachElement([&](Node block) {
            block.get("cells").get("compactCells").get("value").forEachElement([&](Node v) {
                sum += v.number();
                return true;
            });
            return true;
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_HostTableDirect(benchmark::State& state) {
    for (auto _ : state) {
        qehost::HostOutput::instance().reset();
        PnProcedure procedure("bench");
        auto table = procedure.Heading()->PivotTable(PnUTF8String("Big"), PnUTF8String(""), true);
        double value = 0;
        for (int l = 0; l < kLeaves; ++l) {
            PnDimension layer = table->Dimension(PnUTF8String("L"), 2);
            layer.Category(PnUTF8String("L" + std::to_string(l)));
            for (int r = 0; r < kLeaves; ++r) {
                PnDimension rows = table->Dimension(PnUTF8String("R"), 2);
                rows.Category(PnUTF8String("R" + std::to_string(r)));
                PnDimension cols = table->Dimension(PnUTF8String("C"), 2);
                for (int c = 0; c < kLeaves; ++c) {
                    PnCategory cc = cols.Category(PnUTF8String("C" + std::to_string(c)));
                    cc.Cell(PnNumber(value, PnFormatSpec(40, 40, 2)));
                    value += 1;
                }
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}

// The same number of cells in a tall table: one column, a million rows, so that every row of the
// host's cell store holds a single cell.
void BM_HostTableTall(benchmark::State& state) {
    for (auto _ : state) {
        qehost::HostOutput::instance().reset();
        PnProcedure procedure("bench");
        auto table = procedure.Heading()->PivotTable(PnUTF8String("Tall"), PnUTF8String(""), true);
        PnDimension rows = table->Dimension(PnUTF8String("R"), 2);
        for (std::int64_t r = 0; r < kCells; ++r) {
            rows.Category(PnUTF8String("R" + std::to_string(r)));
            PnDimension cols = table->Dimension(PnUTF8String("C"), 2);
            cols.Category(PnUTF8String("Value"))
                .Cell(PnNumber(static_cast<double>(r), PnFormatSpec(40, 40, 2)));
        }
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}

// A tall table's text rendering (the viewer lays it out as a grid, then draws it) next to a plain
// walk over the same cells with their shown texts.
constexpr int kTallRows = 100000;

const qehost::PivotTableRecord& TallTable() {
    static const qehost::PivotTableRecord& table = *[] {
        auto* record = new qehost::PivotTableRecord();
        PnPivotTable pivot(record);
        PnDimension rows = pivot.Dimension(PnUTF8String("R"), 2);
        for (int r = 0; r < kTallRows; ++r) {
            rows.Category(PnUTF8String("R" + std::to_string(r)));
            PnDimension cols = pivot.Dimension(PnUTF8String("C"), 2);
            cols.Position(1, 1, false, false);
            cols.Category(PnUTF8String("Value")).Cell(PnNumber(r * 0.5, PnFormatSpec(40, 40, 2)));
        }
        return record;
    }();
    return table;
}

void BM_TallTableText(benchmark::State& state) {
    const qehost::PivotTableRecord& table = TallTable();
    for (auto _ : state)
        benchmark::DoNotOptimize(qehost::PivotToText(table).size());
    state.SetItemsProcessed(state.iterations() * kTallRows);
}

void BM_TallTableCells(benchmark::State& state) {
    const qehost::PivotTableRecord& table = TallTable();
    for (auto _ : state) {
        std::size_t shown = 0;
        table.cells.ForEach([&shown](std::span<const int>, const qehost::CellNode& cell) {
            shown += cell.text ? cell.text->text.size() : 0;
        });
        benchmark::DoNotOptimize(shown);
    }
    state.SetItemsProcessed(state.iterations() * kTallRows);
}

BENCHMARK(BM_ParseDocument)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_JsonToHostTable)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CellValuesPacked)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HostTableDirect)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_HostTableTall)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TallTableText)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TallTableCells)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // CPU time leaves out the JVM's own threads (GC, compiler); on a busy machine it is the
    // steadier of the two.
    std::printf("\nratio (same run)                           real time   CPU time\n");
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_JsonToHostTable", "BM_HostTableDirect"},
        {"BM_JsonToHostTable", "BM_CellValuesPacked"},
        {"BM_TallTableText", "BM_TallTableCells"},
    };
    for (const auto& [ours, baseline] : pairs) {
        if (reporter.real.count(ours) == 0 || reporter.real.count(baseline) == 0)
            continue;
        std::printf("  %-18s / %-19s %8.2fx %9.2fx\n", ours + 3, baseline + 3,
                    reporter.RealRatio(ours, baseline), reporter.CpuRatio(ours, baseline));
    }
    benchmark::Shutdown();
    return 0;
}
