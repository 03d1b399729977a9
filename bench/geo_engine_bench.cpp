// Points to GeoJSON on the local engine: 1M coordinate pairs made into points, reprojected and
// written as GeoJSON (derive -> updateDataModel -> reprojection -> write), against a plain loop
// that only calls PROJ's transform on the same coordinates. Two targets: Web Mercator (the usual
// map display system) and NAD83 / Conus Albers (a datum change with an area-dependent choice).
#include <benchmark/benchmark.h>

#include <proj.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/exec/RecordOperators.h"
#include "qeinteg/platform/engine/exec/ReprojectionOperator.h"
#include "qeinteg/platform/engine/io/WriteOperator.h"

using namespace qelocal;
using Json = nlohmann::ordered_json;

namespace {

constexpr size_t kPoints = 1000000;

struct Table {
    std::vector<EngineField> fields;
    std::vector<Batch> batches;
    std::vector<double> lon;
    std::vector<double> lat;
};

// Points over the contiguous United States, with an integer id.
const Table& Points() {
    static const Table table = [] {
        Table t;
        t.fields = {{"id", Storage::Integer}, {"lon", Storage::Real}, {"lat", Storage::Real}};
        std::mt19937_64 random(42);
        std::uniform_real_distribution<double> lon(-124.0, -67.0);
        std::uniform_real_distribution<double> lat(25.0, 49.0);
        Batch b;
        b.reset(t.fields);
        for (size_t i = 0; i < kPoints; ++i) {
            const double x = lon(random);
            const double y = lat(random);
            t.lon.push_back(x);
            t.lat.push_back(y);
            b.columns[0].appendNumber(static_cast<double>(i));
            b.columns[1].appendNumber(x);
            b.columns[2].appendNumber(y);
            if (++b.rows == kBatchRows || i + 1 == kPoints) {
                t.batches.push_back(std::move(b));
                b = Batch();
                b.reset(t.fields);
            }
        }
        return t;
    }();
    return table;
}

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

const char* Target(int which) {
    return which == 0 ? "EPSG:3857" : "EPSG:5070";
}

// range(1): 1 writes a file, 0 writes to /dev/null (the same work without the file system's).
void BM_PointsToGeoJson_Engine(benchmark::State& state) {
    const Table& t = Points();
    const std::string out = state.range(1) != 0 ? "/tmp/qeinteg_geo_bench.geojson" : "/dev/null";
    const std::string target = Target(static_cast<int>(state.range(0)));
    const Json update = Json::parse(
        R"({"fields":[{"name":"pointCoord","Geo":{"type":"Point","coordinates":"2","wkid":"4326","csname":"WGS 84"}}]})");
    const Json reprojection = Json::parse(
        R"({"type":"all","reprojectionFields":[{"inSR":{"wkid":4326},"outSR":{"wkid":)" +
        target.substr(5) + "}}]}");
    const Json write = Json::parse(R"({"dataDestination":")" + out +
                                   R"(","dataModelDestination":"","type":"text/geojson"})");
    JobEnvironment env;
    // PROJ's database is opened and listed on first use, as the baseline's set-up is: outside the
    // measured loop.
    ReprojectionOperator warm(
        std::make_unique<TableStream>(t),
        Json::parse(R"({"type":"all","reprojectionFields":[{"outSR":{"wkid":3857}}]})"), "warm");
    for (auto _ : state) {
        auto derive = std::make_unique<DeriveOperator>(
            std::make_unique<TableStream>(t), "ctx => x => (\"pointCoord\", [x.lon,x.lat])", false,
            "deriveFields");
        auto points =
            std::make_unique<UpdateDataModelOperator>(std::move(derive), update, "updateDataModel");
        auto projected =
            std::make_unique<ReprojectionOperator>(std::move(points), reprojection, "reprojection");
        WriteOperator writer(std::move(projected), write, "write", env, nullptr);
        Batch batch;
        size_t rows = 0;
        while (writer.next(batch))
            rows += batch.rows;
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
    if (state.range(1) != 0)
        std::remove(out.c_str());
}

// Where the time goes: the chain cut after derive (0), after updateDataModel (1) and after
// reprojection (2), nothing written.
void BM_PointsToGeoJson_Stages(benchmark::State& state) {
    const Table& t = Points();
    const Json update = Json::parse(
        R"({"fields":[{"name":"pointCoord","Geo":{"type":"Point","coordinates":"2","wkid":"4326","csname":"WGS 84"}}]})");
    const Json reprojection = Json::parse(
        R"({"type":"all","reprojectionFields":[{"inSR":{"wkid":4326},"outSR":{"wkid":3857}}]})");
    ReprojectionOperator warm(std::make_unique<TableStream>(t), reprojection, "warm");
    for (auto _ : state) {
        std::unique_ptr<BatchStream> chain = std::make_unique<DeriveOperator>(
            std::make_unique<TableStream>(t), "ctx => x => (\"pointCoord\", [x.lon,x.lat])", false,
            "deriveFields");
        if (state.range(0) >= 1)
            chain = std::make_unique<UpdateDataModelOperator>(std::move(chain), update,
                                                              "updateDataModel");
        if (state.range(0) >= 2)
            chain = std::make_unique<ReprojectionOperator>(std::move(chain), reprojection,
                                                           "reprojection");
        Batch batch;
        size_t rows = 0;
        while (chain->next(batch))
            rows += batch.rows;
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
}

// The baseline: PROJ's transform on every coordinate pair, one call per point, nothing written.
void BM_PointsToGeoJson_ProjLoop(benchmark::State& state) {
    const Table& t = Points();
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* raw =
        proj_create_crs_to_crs(ctx, "EPSG:4326", Target(static_cast<int>(state.range(0))), nullptr);
    PJ* pj = proj_normalize_for_visualization(ctx, raw);
    for (auto _ : state) {
        double sum = 0;
        for (size_t i = 0; i < kPoints; ++i) {
            const PJ_COORD c = proj_trans(pj, PJ_FWD, proj_coord(t.lon[i], t.lat[i], 0, 0));
            sum += c.xy.x + c.xy.y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
    proj_destroy(pj);
    proj_destroy(raw);
    proj_context_destroy(ctx);
}

}  // namespace

// range(0): 0 Web Mercator, 1 NAD83 / Conus Albers.
BENCHMARK(BM_PointsToGeoJson_Engine)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointsToGeoJson_Stages)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointsToGeoJson_ProjLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
