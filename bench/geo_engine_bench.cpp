// Geographic work of the local engine, each figure beside a plain baseline in the same run.
//
// Points to GeoJSON: 1M coordinate pairs made into points, reprojected and
// written as GeoJSON (derive -> updateDataModel -> reprojection -> write), against a plain loop
// that only calls PROJ's transform on the same coordinates. Two targets: Web Mercator (the usual
// map display system) and NAD83 / Conus Albers (a datum change with an area-dependent choice).
//
// Key matching: 1M context rows against a map of 10k features, the three joins of a key check
// against two hash sets filled by plain loops.
#include <benchmark/benchmark.h>

#include <proj.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/AggregateOperator.h"
#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/exec/JoinOperator.h"
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

// --- key matching: 1M context rows against the keys of a 10k-feature map ---

constexpr size_t kFeatures = 10000;
constexpr size_t kContextRows = 1000000;

struct KeyTables {
    Table map;      // integer key "id" and a polygon geometry per feature
    Table context;  // real key "key": 90% of the rows hit a map key
};

const KeyTables& Keys() {
    static const KeyTables tables = [] {
        KeyTables k;
        GeoInfo geo;
        geo.type = "Polygon";
        EngineField shape{"geometry", Storage::String};
        shape.geo = geo;
        k.map.fields = {{"id", Storage::Integer}, shape};
        const double ring[] = {0, 0, 1, 0, 1, 1, 0, 0};
        std::string polygon(1 + 4 + 4 + 4 + sizeof ring, '\0');
        polygon[0] = 1;
        const uint32_t header[] = {3, 1, 4};
        std::memcpy(polygon.data() + 1, header, sizeof header);
        std::memcpy(polygon.data() + 13, ring, sizeof ring);
        Batch b;
        b.reset(k.map.fields);
        for (size_t i = 0; i < kFeatures; ++i) {
            b.columns[0].appendNumber(static_cast<double>(i));
            b.columns[1].appendText(polygon);
            if (++b.rows == kBatchRows || i + 1 == kFeatures) {
                k.map.batches.push_back(std::move(b));
                b = Batch();
                b.reset(k.map.fields);
            }
        }
        k.context.fields = {{"key", Storage::Real}};
        std::mt19937_64 random(7);
        std::uniform_int_distribution<size_t> key(0, kFeatures * 10 / 9);
        b.reset(k.context.fields);
        for (size_t i = 0; i < kContextRows; ++i) {
            k.context.lon.push_back(static_cast<double>(key(random)));
            b.columns[0].appendNumber(k.context.lon.back());
            if (++b.rows == kBatchRows || i + 1 == kContextRows) {
                k.context.batches.push_back(std::move(b));
                b = Batch();
                b.reset(k.context.fields);
            }
        }
        return k;
    }();
    return tables;
}

// The three joins of a key check (matched map keys, unmatched map keys, unmatched data keys):
// integer map keys made real, both sides reduced to their distinct keys, then joined.
void BM_KeyMatching_Engine(benchmark::State& state) {
    const KeyTables& k = Keys();
    ExecContext exec;
    const Json mapKeys = Json::parse(R"({"output":[{"input":"id","function":"key"}]})");
    const Json dataKeys = Json::parse(R"({"output":[{"input":"key","function":"key"}]})");
    const Json joins[] = {Json::parse(R"({"matchFields":[{"shape":"id","dataset":"key"}],)"
                                      R"("outputFields":{"shape":["id"]},"joinType":"Inner"})"),
                          Json::parse(R"({"matchFields":[{"shape":"id","dataset":"key"}],)"
                                      R"("outputFields":{"shape":["id"]},"joinType":"Anti",)"
                                      R"("nonMatchingSources":["shape"]})"),
                          Json::parse(R"({"matchFields":[{"shape":"id","dataset":"key"}],)"
                                      R"("outputFields":{"dataset":["key"]},"joinType":"Anti",)"
                                      R"("nonMatchingSources":["dataset"]})")};
    size_t counts[3] = {0, 0, 0};
    for (auto _ : state) {
        for (int j = 0; j < 3; ++j) {
            auto real = std::make_unique<DeriveOperator>(std::make_unique<TableStream>(k.map),
                                                         "ctx => x => (\"id\", toReal(x.id))", true,
                                                         "reclassifyField");
            std::vector<JoinInput> inputs;
            inputs.push_back(JoinInput{"shape", std::make_unique<AggregateOperator>(
                                                    std::move(real), mapKeys, "agg", exec)});
            inputs.push_back(JoinInput{
                "dataset", std::make_unique<AggregateOperator>(
                               std::make_unique<TableStream>(k.context), dataKeys, "agg", exec)});
            JoinOperator join(std::move(inputs), joins[j], "join", exec);
            Batch batch;
            counts[j] = 0;
            while (join.next(batch))
                counts[j] += batch.rows;
        }
    }
    state.counters["matched"] = static_cast<double>(counts[0]);
    state.counters["unmatched_map"] = static_cast<double>(counts[1]);
    state.counters["unmatched_data"] = static_cast<double>(counts[2]);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kContextRows));
}

// The baseline: the same three answers from two hash sets filled by plain loops.
void BM_KeyMatching_Loop(benchmark::State& state) {
    const KeyTables& k = Keys();
    for (auto _ : state) {
        std::unordered_set<double> map;
        for (const Batch& b : k.map.batches)
            for (size_t r = 0; r < b.rows; ++r)
                map.insert(b.columns[0].num[r]);
        std::unordered_set<double> data(k.context.lon.begin(), k.context.lon.end());
        size_t matched = 0;
        size_t unmatchedMap = 0;
        size_t unmatchedData = 0;
        for (double key : map)
            (data.count(key) != 0 ? matched : unmatchedMap) += 1;
        for (double key : data)
            unmatchedData += map.count(key) == 0 ? 1 : 0;
        benchmark::DoNotOptimize(matched + unmatchedMap + unmatchedData);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kContextRows));
}

}  // namespace

BENCHMARK(BM_KeyMatching_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyMatching_Loop)->Unit(benchmark::kMillisecond);

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
