// Descriptives of 1M host cases x 10 numeric variables end to end: the library's dataset iterator
// feeding the local engine through the runner, next to a plain loop pulling the same rows through
// the same iterator.
#include <benchmark/benchmark.h>

#include "common/BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr long kCases = 1000000;
constexpr int kVariables = 10;
std::string g_root;

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

const HostDataset& Dataset() {
    static const std::shared_ptr<HostDataset> data = [] {
        auto d = std::make_shared<HostDataset>();
        for (int v = 0; v < kVariables; ++v) {
            TAVO_Variable variable("v" + std::to_string(v), 0);
            variable.SetFormat(TAVO_Format{5, 10, 3});
            variable.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
            d->AddVariable(std::move(variable));
        }
        d->ReserveCases(kCases);
        for (long c = 0; c < kCases; ++c) {
            const long row = d->AddCase();
            for (int v = 0; v < kVariables; ++v) {
                d->SetNumeric(row, v,
                              static_cast<double>((c * 2654435761u + v * 40503u) % 1000003u) / 8.0);
            }
        }
        return d;
    }();
    return *data;
}

class PathContainer final : public QEStatContainer {
  public:
    PathContainer(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    std::string getName() override { return name_; }
    std::string getAbsolutePath() override { return path_; }

  private:
    std::string name_;
    std::string path_;
};

void BM_IteratorPlainPull(benchmark::State& state) {
    QERawDataIterator it(Dataset(), std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    for (auto _ : state) {
        it.Rewind();
        double sum = 0;
        while (it.nextRecord() == 0) {
            for (int v = 0; v < kVariables; ++v) {
                const void* data = nullptr;
                size_t length = 0;
                it.getRecordValue(static_cast<size_t>(v), &data, &length);
                if (data != nullptr) {
                    double x;
                    std::memcpy(&x, data, sizeof x);
                    sum += x;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

void BM_LibraryDescriptives(benchmark::State& state) {
    qelocal::LocalEngine::instance().reset();
    qelocal::LocalEngine::instance().setRecording(false);
    QERawDataIterator it(Dataset(), std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    it.SetName("bench");
    PathContainer json("JSON", g_root + "/json.zip");
    PathContainer stat("StatXML", g_root + "/stat.zip");
    const std::string job =
        "val deConf = {\"computeSummaryStats\":true,\"maxNOfDistinctValues\":10000}\n"
        "val outCon = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"file:///" +
        json.getAbsolutePath() + "\"},{\"export\":true,\"name\":\"StatXML\",\"uri\":\"file:///" +
        stat.getAbsolutePath() +
        "\"}]\n"
        "read({\"dataSource\":\"bench\",\"readErrorThreshold\":-1}) -> "
        "descriptives:descriptives( deConf, _,outCon)\n";
    QERunner runner(nullptr);
    for (auto _ : state) {
        it.Rewind();
        runner.prepareQELJob(job);
        runner.addInputIterator(&it);
        runner.addOutputContainer(&json);
        runner.addOutputContainer(&stat);
        if (!runner.execute())
            state.SkipWithError("the descriptives job failed");
        runner.cleanExecution();
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

}  // namespace

BENCHMARK(BM_IteratorPlainPull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryDescriptives)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qeinteg::bench::StartJvmAndHost())
        return 2;
    g_root = qeinteg::bench::HostRoot();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qeinteg::bench::StopHost();
    return 0;
}
