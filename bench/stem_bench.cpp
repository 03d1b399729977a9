// Key matching of 1M context rows against a shape file of 10k features: the library's
// matchShapeKeys (shape read to an engine file, then three joins on the local engine), next to a
// plain loop that reads the same shape keys with OGR, pulls the same rows through the same dataset
// iterator and matches them in hash sets.
#include <benchmark/benchmark.h>

#include <gdal.h>
#include <ogr_api.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/BenchSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"

namespace {

constexpr long kRows = 1000000;
constexpr int kFeatures = 10000;
// Context codes run over 12k values, so 2k of them have no feature and every feature has data
// except those above the codes' range.
constexpr long kCodes = 12000;

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;
using Keys = std::vector<std::vector<std::string>>;

std::string g_shape;
LocallyUniqueID g_context;

// A point per feature with an integer key "id" (0, 2, 4, ... so half the codes match).
bool WriteShape(const std::string& path) {
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("ESRI Shapefile");
    GDALDatasetH dataset =
        driver ? GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr) : nullptr;
    if (dataset == nullptr)
        return false;
    OGRLayerH layer = GDALDatasetCreateLayer(dataset, "areas", nullptr, wkbPoint, nullptr);
    OGRFieldDefnH field = OGR_Fld_Create("id", OFTInteger);
    bool ok = layer != nullptr && OGR_L_CreateField(layer, field, TRUE) == OGRERR_NONE;
    OGR_Fld_Destroy(field);
    for (int i = 0; ok && i < kFeatures; ++i) {
        OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        OGR_F_SetFieldInteger(feature, 0, i * 2);
        OGRGeometryH point = OGR_G_CreateGeometry(wkbPoint);
        OGR_G_SetPoint_2D(point, 0, i % 100, i / 100);
        OGR_F_SetGeometryDirectly(feature, point);
        ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
        OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    return ok;
}

LocallyUniqueID Context() {
    auto data = std::make_shared<HostDataset>();
    data->AddVariable(TAVO_Variable("code", 0));
    data->AddVariable(TAVO_Variable("value", 0));
    data->ReserveCases(kRows);
    for (long r = 0; r < kRows; ++r) {
        const long row = data->AddCase();
        data->SetNumeric(row, 0, static_cast<double>((r * 7919) % kCodes));
        data->SetNumeric(row, 1, static_cast<double>(r));
    }
    return SvrDMDataset::Register(data);
}

void BM_PlainMatch(benchmark::State& state) {
    for (auto _ : state) {
        std::unordered_set<double> map;
        GDALDatasetH dataset =
            GDALOpenEx(g_shape.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
        OGR_L_ResetReading(layer);
        for (OGRFeatureH f; (f = OGR_L_GetNextFeature(layer)) != nullptr; OGR_F_Destroy(f))
            map.insert(static_cast<double>(OGR_F_GetFieldAsInteger64(f, 0)));
        GDALClose(dataset);

        QERawDataIterator it(g_context, std::vector<std::string>{"code"}, Levels{}, false,
                             QERawDataIterator::Ignore, false, true);
        std::unordered_set<double> data;
        while (it.nextRecord() == 0) {
            const void* value = nullptr;
            size_t length = 0;
            if (it.getRecordValue(0, &value, &length) == 0 && value != nullptr) {
                double x;
                std::memcpy(&x, value, sizeof x);
                data.insert(x);
            }
        }
        size_t matched = 0;
        Keys unmatchedMap;
        Keys unmatchedData;
        for (double key : map) {
            if (data.count(key) != 0)
                ++matched;
            else if (unmatchedMap.size() <= 10)
                unmatchedMap.push_back({std::to_string(key)});
        }
        for (double key : data) {
            if (map.count(key) == 0 && unmatchedData.size() <= 10)
                unmatchedData.push_back({std::to_string(key)});
        }
        benchmark::DoNotOptimize(matched);
        state.counters["matched"] = static_cast<double>(matched);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_LibraryMatchShapeKeys(benchmark::State& state) {
    qelocal::LocalEngine::instance().reset();
    qelocal::LocalEngine::instance().setRecording(false);
    QEInteractiveSTEM stem;
    for (auto _ : state) {
        Keys unmatchedMap;
        Keys unmatchedData;
        int matched = 0;
        if (!stem.matchShapeKeys(g_shape, {"id"}, unmatchedMap, g_context, "", {"code"},
                                 unmatchedData, 10, matched)) {
            std::string id, message, detail;
            stem.hasError(id, message, detail);
            state.SkipWithError(("the key matching failed: " + message).c_str());
            break;
        }
        state.counters["matched"] = matched;
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

}  // namespace

BENCHMARK(BM_PlainMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryMatchShapeKeys)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qeinteg::bench::StartJvmAndHost())
        return 2;
    g_shape = qeinteg::bench::HostRoot() + "/areas.shp";
    if (!WriteShape(g_shape)) {
        std::fprintf(stderr, "cannot write the shape file %s\n", g_shape.c_str());
        return 2;
    }
    g_context = Context();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double real = reporter.RealRatio("BM_LibraryMatchShapeKeys", "BM_PlainMatch");
    if (real > 0)
        std::printf("library / plain key matching (same run): real time %.2fx, CPU time %.2fx\n",
                    real, reporter.CpuRatio("BM_LibraryMatchShapeKeys", "BM_PlainMatch"));
    benchmark::Shutdown();
    qeinteg::bench::StopHost();
    return 0;
}
