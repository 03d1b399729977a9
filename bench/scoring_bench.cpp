// Records per second scored with a 100-tree forest and with a linear model, each three ways in one
// run: a plain loop over the fitted model's in-memory arrays (the baseline), the model-scoring
// library on the model's PMML text (input record in, output record out), and QETransformScorer
// pulling the same rows from a row iterator. The ratios to the baseline are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/BenchSupport.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/scoring/MCScorerFactory.h"
#include "qeinteg/procedures/QETransformScorer.h"

namespace {

constexpr long kRows = 1000000;
constexpr int kFeatures = 5;
constexpr int kTrees = 100;
constexpr int kDepth = 6;

// Columns of random inputs.
const std::vector<std::vector<double>>& Data() {
    static const auto* data = [] {
        auto* d = new std::vector<std::vector<double>>(kFeatures, std::vector<double>(kRows));
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> u(0, 1);
        for (auto& column : *d) {
            for (double& v : column)
                v = u(rng);
        }
        return d;
    }();
    return *data;
}

// A fitted forest in the form a training tool keeps it: per tree, arrays indexed by node.
struct Tree {
    std::vector<int> feature;  // -1 for a leaf
    std::vector<double> threshold;
    std::vector<int> left, right;
    std::vector<double> value;
};

const std::vector<Tree>& Forest() {
    static const auto* forest = [] {
        auto* f = new std::vector<Tree>(kTrees);
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> u(0, 1);
        std::uniform_int_distribution<int> pick(0, kFeatures - 1);
        for (Tree& t : *f) {
            // A full tree of depth kDepth, nodes in breadth-first order.
            const int nodes = (1 << (kDepth + 1)) - 1;
            for (int i = 0; i < nodes; ++i) {
                const bool leaf = i >= (1 << kDepth) - 1;
                t.feature.push_back(leaf ? -1 : pick(rng));
                t.threshold.push_back(u(rng));
                t.left.push_back(leaf ? -1 : 2 * i + 1);
                t.right.push_back(leaf ? -1 : 2 * i + 2);
                t.value.push_back(u(rng) * 100);
            }
        }
        return f;
    }();
    return *forest;
}

const std::vector<double>& Coefficients() {
    static const std::vector<double> c = {0.5, -1.25, 2.0, 3.5, -0.75};
    return c;
}
constexpr double kIntercept = 1.5;

std::string Num(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string Header() {
    std::string s = "<PMML version='4.4'><DataDictionary>";
    for (int k = 0; k < kFeatures; ++k)
        s += "<DataField name='x" + std::to_string(k) + "' optype='continuous' dataType='double'/>";
    s += "<DataField name='y' optype='continuous' dataType='double'/></DataDictionary>";
    return s;
}

std::string Schema() {
    std::string s = "<MiningSchema><MiningField name='y' usageType='target'/>";
    for (int k = 0; k < kFeatures; ++k)
        s += "<MiningField name='x" + std::to_string(k) + "'/>";
    return s + "</MiningSchema>";
}

void TreeNodes(const Tree& t, int i, const std::string& predicate, std::string& out) {
    out += "<Node score='" + Num(t.value[static_cast<size_t>(i)]) + "'>" + predicate;
    if (t.feature[static_cast<size_t>(i)] >= 0) {
        const std::string f = "x" + std::to_string(t.feature[static_cast<size_t>(i)]);
        const std::string th = Num(t.threshold[static_cast<size_t>(i)]);
        TreeNodes(t, t.left[static_cast<size_t>(i)],
                  "<SimplePredicate field='" + f + "' operator='lessOrEqual' value='" + th + "'/>",
                  out);
        TreeNodes(t, t.right[static_cast<size_t>(i)],
                  "<SimplePredicate field='" + f + "' operator='greaterThan' value='" + th + "'/>",
                  out);
    }
    out += "</Node>";
}

std::string ForestPmml() {
    std::string s = Header() + "<MiningModel functionName='regression'>" + Schema() +
                    "<Segmentation multipleModelMethod='average'>";
    for (const Tree& t : Forest()) {
        s += "<Segment><True/><TreeModel functionName='regression'>" + Schema();
        TreeNodes(t, 0, "<True/>", s);
        s += "</TreeModel></Segment>";
    }
    return s + "</Segmentation></MiningModel></PMML>";
}

std::string LinearPmml() {
    std::string s = Header() + "<RegressionModel functionName='regression'>" + Schema() +
                    "<RegressionTable intercept='" + Num(kIntercept) + "'>";
    for (int k = 0; k < kFeatures; ++k) {
        s += "<NumericPredictor name='x" + std::to_string(k) + "' coefficient='" +
             Num(Coefficients()[static_cast<size_t>(k)]) + "'/>";
    }
    return s + "</RegressionTable></RegressionModel></PMML>";
}

double PlainForest(long r) {
    const auto& data = Data();
    double sum = 0;
    for (const Tree& t : Forest()) {
        int i = 0;
        while (t.feature[static_cast<size_t>(i)] >= 0) {
            const size_t n = static_cast<size_t>(i);
            i = data[static_cast<size_t>(t.feature[n])][static_cast<size_t>(r)] <= t.threshold[n]
                    ? t.left[n]
                    : t.right[n];
        }
        sum += t.value[static_cast<size_t>(i)];
    }
    return sum / kTrees;
}

double PlainLinear(long r) {
    const auto& data = Data();
    double y = kIntercept;
    for (int k = 0; k < kFeatures; ++k)
        y += Coefficients()[static_cast<size_t>(k)] *
             data[static_cast<size_t>(k)][static_cast<size_t>(r)];
    return y;
}

// Rows of the in-memory columns as a row iterator hands them out.
class ColumnIterator final : public EmbeddedQE::RowDataIterator {
  public:
    std::string getName() override { return "columns"; }
    std::string getDataModel() override {
        CFMetaData metadata;
        for (int k = 0; k < kFeatures; ++k)
            metadata.AddField(CFField("x" + std::to_string(k), CFField::Continuous, CFField::Real,
                                      CFField::Input));
        std::string xml;
        metadata.ExportXMLDoc(xml);
        return xml;
    }
    uint32_t nextRecord() override { return ++row_ < kRows ? 0 : 1; }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        *data = &Data()[index][static_cast<size_t>(row_)];
        *length = sizeof(double);
        return 0;
    }
    void dispose(JNIEnv*) override {}
    uint32_t Rewind() override {
        row_ = -1;
        return 0;
    }

  private:
    long row_ = -1;
};

template <double (*Plain)(long)>
void PlainLoop(benchmark::State& state) {
    for (auto _ : state) {
        double total = 0;
        for (long r = 0; r < kRows; ++r)
            total += Plain(r);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <std::string (*Pmml)()>
void ScoringLibrary(benchmark::State& state) {
    MCXML_910::MCSettings settings;
    std::istringstream text(Pmml());
    std::unique_ptr<MCXML_910::IMCScoreComputer> computer(
        MCScoring_910::MCScorerFactory::CreateMCScoringObject(settings, text));
    if (!computer) {
        state.SkipWithError(settings.GetErrorMessage().c_str());
        return;
    }
    MCCommon_910::ValueRecord in(2), out(2);
    for (int k = 0; k < kFeatures; ++k)
        in.AddValue("x" + std::to_string(k), MCCommon_910::Value());
    computer->PrepareOutputRecord(out);
    const auto& data = Data();
    for (auto _ : state) {
        double total = 0;
        for (long r = 0; r < kRows; ++r) {
            for (int k = 0; k < kFeatures; ++k)
                in.At(k).SetDouble(data[static_cast<size_t>(k)][static_cast<size_t>(r)]);
            computer->Score(in, out, nullptr);
            total += out.GetDouble(0);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <std::string (*Pmml)()>
void TransformScorer(benchmark::State& state) {
    ColumnIterator rows;
    QETransformScorer scorer;
    if (!scorer.PrepareScoring(&rows, Pmml(), {}, true)) {
        state.SkipWithError(scorer.GetLastError().c_str());
        return;
    }
    for (auto _ : state) {
        rows.Rewind();
        double total = 0;
        while (rows.nextRecord() == 0) {
            scorer.ScoreRecord();
            total += scorer.GetTargetValues()[0];
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Both evaluations must agree before their speeds are compared.
bool SameAnswers() {
    MCXML_910::MCSettings settings;
    for (auto [pmml, plain] :
         {std::pair{ForestPmml(), &PlainForest}, std::pair{LinearPmml(), &PlainLinear}}) {
        std::istringstream text(pmml);
        std::unique_ptr<MCXML_910::IMCScoreComputer> computer(
            MCScoring_910::MCScorerFactory::CreateMCScoringObject(settings, text));
        if (!computer)
            return false;
        MCCommon_910::ValueRecord in(2), out(2);
        for (int k = 0; k < kFeatures; ++k)
            in.AddValue("x" + std::to_string(k), MCCommon_910::Value());
        computer->PrepareOutputRecord(out);
        for (long r = 0; r < 1000; ++r) {
            for (int k = 0; k < kFeatures; ++k)
                in.At(k).SetDouble(Data()[static_cast<size_t>(k)][static_cast<size_t>(r)]);
            computer->Score(in, out, nullptr);
            const double want = plain(r);
            if (std::abs(out.GetDouble(0) - want) > 1e-9 * std::max(1.0, std::abs(want)))
                return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!SameAnswers()) {
        std::fprintf(stderr, "the scoring library and the plain loop disagree\n");
        return 1;
    }
    const char* names[][3] = {
        {"Forest/PlainLoop", "Forest/ScoringLibrary", "Forest/TransformScorer"},
        {"Linear/PlainLoop", "Linear/ScoringLibrary", "Linear/TransformScorer"}};
    benchmark::RegisterBenchmark(names[0][0], PlainLoop<PlainForest>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[0][1], ScoringLibrary<ForestPmml>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[0][2], TransformScorer<ForestPmml>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[1][0], PlainLoop<PlainLinear>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[1][1], ScoringLibrary<LinearPmml>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[1][2], TransformScorer<LinearPmml>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (const auto& group : names) {
        for (int i = 1; i < 3; ++i) {
            const double real = reporter.RealRatio(group[i], group[0]);
            if (real > 0)
                std::printf("%s / %s (same run): real time %.2fx, CPU time %.2fx\n", group[i],
                            group[0], real, reporter.CpuRatio(group[i], group[0]));
        }
    }
    benchmark::Shutdown();
    return 0;
}
