// A scenario end to end on 1M host cases (100 stations x 1000 days x 10 records a day): the
// library prepares the dataset the model's way (data model, engine data file, time-series
// preparation) and scores one series 12 periods forward. Beside it, in the same run:
//   PlainPull       the same rows pulled once through the same iterator (the least any
//                   scenario over the dataset can cost);
//   DataModelOnly   the descriptives pass that builds the dimension's data model;
//   CopyAndPrepare  the read->write copy and the read->tsdp->write preparation jobs.
// The ratios printed at the end say where the scenario's time goes.
#include <benchmark/benchmark.h>

#include "common/BenchSupport.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/procedures/QEInteractiveTSR.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr int kStations = 100;
constexpr int kDays = 1000;
constexpr int kRecordsPerDay = 10;  // per station
constexpr long kCases = static_cast<long>(kStations) * kDays * kRecordsPerDay;
constexpr double kHostDay = 86400.0;  // host dates count seconds

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

std::string g_root;
std::string g_model;
LocallyUniqueID g_dataset;

// Each station's daily total follows y[t] = 0.5 y[t-1] + 0.3 y[t-2] + 10 + a small wobble.
std::shared_ptr<HostDataset> MakeDataset() {
    auto d = std::make_shared<HostDataset>();
    d->AddVariable(TAVO_Variable("station", 8));
    TAVO_Variable day("day", 0);
    day.SetFormat(TAVO_Format{20, 11, 0});
    d->AddVariable(std::move(day));
    TAVO_Variable value("value", 0);
    value.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
    d->AddVariable(std::move(value));
    d->ReserveCases(kCases);
    const double firstDay = qehost::HostDateNumber(2000, 1, 1);
    std::vector<double> previous(kStations, 20.0), before(kStations, 20.0);
    for (int t = 0; t < kDays; ++t) {
        for (int s = 0; s < kStations; ++s) {
            const double total =
                0.5 * previous[s] + 0.3 * before[s] + 10.0 + std::sin(t * 0.7 + s) * 0.5;
            before[s] = previous[s];
            previous[s] = total;
            char name[16];
            std::snprintf(name, sizeof name, "s%03d", s);
            for (int r = 0; r < kRecordsPerDay; ++r) {
                const long row = d->AddCase();
                d->SetString(row, 0, name);
                d->SetNumeric(row, 1, firstDay + t * kHostDay);
                d->SetNumeric(row, 2, total / kRecordsPerDay);
            }
        }
    }
    return d;
}

// Builds the model archive from the same dataset once, before any timing.
bool BuildModel() {
    QERawDataIterator it(g_dataset, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    it.SetName("bench");
    const std::string job =
        "val readerConf = {\"dataSource\":\"bench\",\"readErrorThreshold\":-1}\n"
        "val buildConf = {\"dimFieldList\":[\"station\"],\"metricFieldList\":[\"value\"],"
        "\"dateTimeField\":\"day\",\"cyclicFieldList\":[],\"timeInterval\":{\"unit\":\"days\","
        "\"step\":1},\"lags\":2,\"maxInputs\":1}\n"
        "val outCons = [{\"export\":true,\"name\":\"TCM\",\"uri\":\"" +
        FileUri(g_model) +
        "\"}]\n"
        "read(readerConf)->tcm:build(buildConf,_,outCons)";
    QERunner runner(nullptr);
    bool ok = false;
    try {
        ok = runner.prepareQELJob(job) && runner.addInputIterator(&it) && runner.execute();
    } catch (...) {
        ok = false;
    }
    runner.cleanExecution();
    return ok;
}

void BM_PlainPull(benchmark::State& state) {
    QERawDataIterator it(g_dataset, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    for (auto _ : state) {
        it.Rewind();
        double sum = 0;
        size_t bytes = 0;
        while (it.nextRecord() == 0) {
            for (size_t v = 0; v < 3; ++v) {
                const void* data = nullptr;
                size_t length = 0;
                it.getRecordValue(v, &data, &length);
                if (data == nullptr)
                    continue;
                if (v == 0) {
                    bytes += length;
                } else {
                    double x;
                    std::memcpy(&x, data, sizeof x);
                    sum += x;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

void BM_Scenario(benchmark::State& state) {
    qelocal::LocalEngine::instance().setRecording(false);
    for (auto _ : state) {
        QEInteractiveTSR tsr;
        std::vector<double> observed, predicted;
        const bool ok = tsr.GetScenarioInfo(g_dataset, g_model, "day", "1", "12", {}, {}, {},
                                            "value", {"station"}, {"s042"}, observed, predicted);
        if (!ok || predicted.size() != 12) {
            std::string id, message, detail;
            tsr.hasError(id, message, detail);
            state.SkipWithError(("the scenario failed: " + message).c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

// The data model pass of the preparation: descriptives of the three fields.
void BM_DataModelOnly(benchmark::State& state) {
    qelocal::LocalEngine::instance().setRecording(false);
    QERawDataIterator it(g_dataset, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    it.SetName("_activeDataset_");
    QERunner runner(nullptr);
    const std::vector<std::string> fields{"station", "day", "value"};
    for (auto _ : state) {
        it.Rewind();
        QEDescriptive descriptive(runner, &it);
        CFMetaData metaData;
        if (!descriptive.BuildMetaData(&fields, metaData, 10000)) {
            state.SkipWithError("the data model pass failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

// The two engine jobs of the preparation: the copy into an engine data file, then the time-series
// preparation of that file.
void BM_CopyAndPrepare(benchmark::State& state) {
    qelocal::LocalEngine::instance().setRecording(false);
    QERawDataIterator it(g_dataset, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    it.SetName("_activeDataset_");
    QESimpleContainer data("inputdata", ""), model("inputdatamodel", ""), out("data", ""),
        outModel("datamodel", ""), json("JSON", "");
    auto writer = [](QESimpleContainer& d, QESimpleContainer& m) {
        return "{\"dataDestination\":\"" + FileUri(d.getAbsolutePath()) +
               "\",\"dataModelDestination\":\"" + FileUri(m.getAbsolutePath()) +
               "\",\"type\":\"qebf\"}";
    };
    const std::string copy =
        "val readerConf = {\"dataSource\":\"_activeDataset_\","
        "\"readErrorThreshold\":-1}\nval writerConf = " +
        writer(data, model) + "\nread(readerConf)->write(writerConf)";
    const std::string prepare =
        "val readerConf = {\"filesystem\":{\"dataModel\":\"" + FileUri(model.getAbsolutePath()) +
        "\",\"locations\":[{\"path\":\"" + FileUri(data.getAbsolutePath()) +
        "\",\"parser\":{\"name\":\"qebf\",\"config\":{}}}]}}\n"
        "val tsdpOutConf = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"" +
        FileUri(json.getAbsolutePath()) +
        "\"}]\n"
        "val tsdpConf = {\"dimFieldList\":[\"station\"],\"metricFieldList\":[\"value\"],"
        "\"dateTimeField\":\"day\",\"cyclicFieldList\":[],\"timeInterval\":{\"unit\":\"days\","
        "\"step\":1}}\nval writerConf = " +
        writer(out, outModel) +
        "\nread(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    QERunner runner(nullptr);
    for (auto _ : state) {
        it.Rewind();
        bool ok = runner.prepareQELJob(copy) && runner.addInputIterator(&it) && runner.execute();
        runner.cleanExecution();
        ok = ok && runner.prepareQELJob(prepare) && runner.execute();
        runner.cleanExecution();
        if (!ok) {
            state.SkipWithError("a preparation job failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCases);
}

}  // namespace

int main(int argc, char** argv) {
    if (!qeinteg::bench::StartJvmAndHost())
        return 2;
    g_root = qeinteg::bench::HostRoot();
    g_model = g_root + "/model.zip";
    g_dataset = SvrDMDataset::Register(MakeDataset());
    if (!BuildModel()) {
        std::fprintf(stderr, "could not build the model archive\n");
        return 2;
    }
    const char* names[] = {"PlainPull", "Scenario", "DataModelOnly", "CopyAndPrepare"};
    benchmark::RegisterBenchmark(names[0], BM_PlainPull)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(names[1], BM_Scenario)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark(names[2], BM_DataModelOnly)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark(names[3], BM_CopyAndPrepare)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (int i = 1; i < 4; ++i) {
        const double real = reporter.RealRatio(names[i], names[0]);
        if (real > 0)
            std::printf("%s / PlainPull (same run): real time %.2fx\n", names[i], real);
    }
    const double scenario = reporter.real.count(names[1]) ? reporter.real.at(names[1]) : 0;
    if (scenario > 0) {
        for (int i = 2; i < 4; ++i) {
            if (reporter.real.count(names[i]))
                std::printf("%s: %.0f%% of the scenario\n", names[i],
                            100.0 * reporter.real.at(names[i]) / scenario);
        }
    }
    benchmark::Shutdown();
    SvrDMDataset::Remove(g_dataset);
    qeinteg::bench::StopHost();
    return 0;
}
