// Map services read through GDAL, against the fixture service on the loopback address.
#include <gtest/gtest.h>

#include <ogrsf_frmts.h>

#include <chrono>
#include <memory>

#include "MapServiceFixture.h"
#include "qeinteg/platform/engine/geo/GdalScope.h"
#include "qeinteg/platform/engine/geo/GeoMetadata.h"
#include "qeinteg/platform/engine/geo/MapService.h"

namespace geotest {
namespace {

using qelocal::geo::GeoMetadata;
using qelocal::geo::MapService;
using qelocal::geo::MapServiceLayer;
using qelocal::geo::MapServiceOptions;

class MapServiceTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        BypassProxiesForLoopback();
        server_ = new FixtureServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(server_->port(), 0) << "the fixture service did not start"; }

    static MapServiceOptions Quick() {
        MapServiceOptions options;
        options.timeout = std::chrono::milliseconds(2000);
        return options;
    }

    static FixtureServer* server_;
};

FixtureServer* MapServiceTest::server_ = nullptr;

const MapServiceLayer* Named(const std::vector<MapServiceLayer>& layers, const std::string& name) {
    for (const MapServiceLayer& layer : layers) {
        if (layer.name == name)
            return &layer;
    }
    return nullptr;
}

TEST_F(MapServiceTest, BothServiceStylesListTheSameLayers) {
    std::string reason;
    const auto arcgis = MapService::open(server_->arcgis(), Quick(), reason);
    ASSERT_TRUE(arcgis) << reason;
    const auto ogc = MapService::open(server_->ogc(), Quick(), reason);
    ASSERT_TRUE(ogc) << reason;
    EXPECT_EQ(arcgis->style(), MapService::Style::ArcGisRest);
    EXPECT_EQ(ogc->style(), MapService::Style::OgcApiFeatures);

    // The group layer exists only where the service style can express it.
    ASSERT_EQ(arcgis->layers().size(), 4u);
    const MapServiceLayer& group = arcgis->layers()[0];
    EXPECT_EQ(group.name, "Regions");
    EXPECT_EQ(group.subLayers, (std::vector<int>{1, 2}));
    ASSERT_EQ(ogc->layers().size(), 3u);
    for (const char* name : {"Counties", "Cities", "Rivers"}) {
        SCOPED_TRACE(name);
        const MapServiceLayer* a = Named(arcgis->layers(), name);
        const MapServiceLayer* o = Named(ogc->layers(), name);
        ASSERT_TRUE(a && o);
        EXPECT_EQ(a->fields, o->fields);
        EXPECT_EQ(a->geometry, o->geometry);
        EXPECT_EQ(a->description, o->description);
        EXPECT_TRUE(a->subLayers.empty());
        EXPECT_TRUE(o->subLayers.empty());
    }
    EXPECT_EQ(Named(arcgis->layers(), "Counties")->fields,
              (std::vector<std::string>{"county_id", "county"}));
    EXPECT_EQ(Named(arcgis->layers(), "Cities")->geometry, "point");
    EXPECT_EQ(Named(ogc->layers(), "Rivers")->geometry, "line");
    EXPECT_EQ(Named(ogc->layers(), "Counties")->id, 0);
    EXPECT_EQ(Named(arcgis->layers(), "Counties")->id, 1);
}

TEST_F(MapServiceTest, LayerReplyIsTheWholeDocumentExpected) {
    std::string reason;
    EXPECT_EQ(
        GeoMetadata::mapServiceLayers(server_->arcgis(), Quick(), reason),
        R"([{"value":0,"name":"Regions","keys":"","description":"All regions","features":"",)"
        R"("subLayers":[1,2]},)"
        R"({"value":1,"name":"Counties","keys":"county_id,county","description":"County outlines",)"
        R"("features":"polygon"},)"
        R"({"value":2,"name":"Cities","keys":"city,population","description":"City centres",)"
        R"("features":"point"},)"
        R"({"value":3,"name":"Rivers","keys":"river","description":"Main rivers",)"
        R"("features":"line"}])");
    EXPECT_EQ(reason, "");
    // A service without the all-layers resource is asked layer by layer, with the same result.
    const std::string mapServer = server_->url("/arcgis/rest/services/Fixture/MapServer");
    EXPECT_EQ(GeoMetadata::mapServiceLayers(mapServer, Quick(), reason),
              GeoMetadata::mapServiceLayers(server_->arcgis(), Quick(), reason));
    // A service address with a query (an access token) lists the same layers.
    const std::string plain = GeoMetadata::mapServiceLayers(server_->arcgis(), Quick(), reason);
    EXPECT_EQ(GeoMetadata::mapServiceLayers(server_->arcgis() + "/?token=abc", Quick(), reason),
              plain);
}

TEST_F(MapServiceTest, LayerFeaturesReadInBothStyles) {
    for (const std::string& url : {server_->arcgis(), server_->ogc()}) {
        SCOPED_TRACE(url);
        std::string reason;
        const auto service = MapService::open(url, Quick(), reason);
        ASSERT_TRUE(service) << reason;
        const int cities = Named(service->layers(), "Cities")->id;
        const auto features = service->openFeatures(cities, reason);
        ASSERT_TRUE(features) << reason;
        qelocal::geo::GdalScope scope(service->options().timeout);
        int count = 0;
        std::string names;
        for (auto& feature : *features->layer()) {
            ++count;
            names += feature->GetFieldAsString("city");
            names += ";";
        }
        EXPECT_EQ(count, 3);
        EXPECT_EQ(names, "Harbour;Hilltop;Lakeside;");
        EXPECT_FALSE(service->openFeatures(99, reason));
        EXPECT_EQ(reason, "the service has no layer 99");
    }
    std::string reason;
    const auto arcgis = MapService::open(server_->arcgis(), Quick(), reason);
    ASSERT_TRUE(arcgis);
    EXPECT_FALSE(arcgis->openFeatures(0, reason));
    EXPECT_EQ(reason, "layer 0 is a group of layers");
}

TEST_F(MapServiceTest, FailuresGiveAnEmptyReplyWithTheReason) {
    struct Case {
        std::string url;
        std::string inReason;
    };
    const std::vector<Case> cases = {
        {server_->url("/error/500"), "500"},
        {server_->url("/error/404"), "404"},
        {server_->url("/notjson"), "not a JSON object"},
        {server_->url("/nolayers"), "names no layers"},
        {"http://127.0.0.1:1/closed", "127.0.0.1"},
        {"ftp://127.0.0.1/x", "not an http"},
        {"", "not an http"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string reason;
        EXPECT_FALSE(MapService::open(c.url, Quick(), reason));
        EXPECT_NE(reason.find(c.inReason), std::string::npos) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        reason.clear();
        EXPECT_EQ(GeoMetadata::mapServiceLayers(c.url, Quick(), reason), "");
        EXPECT_FALSE(reason.empty());
    }
}

TEST_F(MapServiceTest, SlowServiceIsAbandonedAtTheTimeout) {
    MapServiceOptions options;
    options.timeout = std::chrono::milliseconds(300);
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MapService::open(server_->url("/slow"), options, reason));
    const auto waited = std::chrono::steady_clock::now() - start;
    // The fixture answers after 5 s; giving up well before shows the time-out was applied.
    EXPECT_LT(waited, std::chrono::seconds(4));
    EXPECT_NE(reason.find("timed out"), std::string::npos) << reason;
}

}  // namespace
}  // namespace geotest
