// Geo metadata: a recommendation query and a map-service layer listing, each against a baseline
// of the single lookup or request it is built from, measured in one run.
#include <benchmark/benchmark.h>

#include <cpl_http.h>

#include <chrono>
#include <memory>
#include <vector>

#include "geo/MapServiceFixture.h"
#include "qeinteg/platform/engine/geo/CrsCatalog.h"
#include "qeinteg/platform/engine/geo/GdalScope.h"
#include "qeinteg/platform/engine/geo/GeoMetadata.h"

namespace {

using qelocal::geo::CrsCatalog;
using qelocal::geo::GeoExtent;

const GeoExtent kSeattle{-122.5, 47.4, -122.2, 47.8};

// A warm catalog: the database listing is made once per process, before the first query.
void BM_RecommendSeattleAll(benchmark::State& state) {
    CrsCatalog& catalog = CrsCatalog::instance();
    for (auto _ : state)
        benchmark::DoNotOptimize(catalog.recommend(kSeattle, 0));
    state.counters["systems"] = static_cast<double>(catalog.recommend(kSeattle, 0).size());
}
BENCHMARK(BM_RecommendSeattleAll)->Unit(benchmark::kMillisecond);

void BM_RecommendSeattleTop10(benchmark::State& state) {
    CrsCatalog& catalog = CrsCatalog::instance();
    for (auto _ : state)
        benchmark::DoNotOptimize(catalog.recommend(kSeattle, 10));
}
BENCHMARK(BM_RecommendSeattleTop10)->Unit(benchmark::kMillisecond);

// The first query of a process: opens the database and lists its systems.
void BM_RecommendSeattleColdCatalog(benchmark::State& state) {
    for (auto _ : state) {
        CrsCatalog fresh;
        benchmark::DoNotOptimize(fresh.recommend(kSeattle, 10));
    }
}
BENCHMARK(BM_RecommendSeattleColdCatalog)->Unit(benchmark::kMillisecond)->Iterations(2);

// Baseline: describing by id the same systems the full recommendation returns, one lookup each.
void BM_DescribeRecommendedSystemsBaseline(benchmark::State& state) {
    CrsCatalog& catalog = CrsCatalog::instance();
    std::vector<int> wkids;
    for (const auto& crs : catalog.recommend(kSeattle, 0))
        wkids.push_back(crs.wkid);
    for (auto _ : state) {
        for (const int wkid : wkids)
            benchmark::DoNotOptimize(catalog.find(wkid));
    }
}
BENCHMARK(BM_DescribeRecommendedSystemsBaseline)->Unit(benchmark::kMillisecond);

geotest::FixtureServer& Server() {
    static auto* server = [] {
        geotest::BypassProxiesForLoopback();
        return new geotest::FixtureServer();
    }();
    return *server;
}

void BM_ListLayers(benchmark::State& state, bool ogc) {
    const std::string url = ogc ? Server().ogc() : Server().arcgis();
    qelocal::geo::MapServiceOptions options;
    for (auto _ : state) {
        std::string reason;
        const std::string reply = qelocal::geo::GeoMetadata::mapServiceLayers(url, options, reason);
        if (reply.empty())
            state.SkipWithError(reason.c_str());
    }
}
BENCHMARK_CAPTURE(BM_ListLayers, ArcGis, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ListLayers, OgcApi, true)->Unit(benchmark::kMillisecond);

// Baseline: one GDAL HTTP request for the service's root document.
void BM_OneRequestBaseline(benchmark::State& state) {
    const std::string url = Server().arcgis() + "?f=json";
    qelocal::geo::GdalScope scope(std::chrono::seconds(10));
    for (auto _ : state) {
        CPLHTTPResult* result = CPLHTTPFetch(url.c_str(), nullptr);
        benchmark::DoNotOptimize(result->nDataLen);
        CPLHTTPDestroyResult(result);
    }
}
BENCHMARK(BM_OneRequestBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
