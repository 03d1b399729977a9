// Map-service sources through the fixture service on the loopback address.
#include <gtest/gtest.h>

#include <chrono>

#include "MapServiceFixture.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"

namespace {

class StemService : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        geotest::BypassProxiesForLoopback();
        server_ = new geotest::FixtureServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        qelocal::LocalEngine::instance().setMapServiceTimeout(std::chrono::milliseconds(2000));
    }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    static geotest::FixtureServer* server_;
    QEInteractiveSTEM stem;
};

geotest::FixtureServer* StemService::server_ = nullptr;

}  // namespace

TEST_F(StemService, LayersOfAServiceAndNoneOfAnUnreachableOne) {
    ASSERT_NE(server_->port(), 0);
    std::string layers;
    ASSERT_TRUE(stem.validateMapService(server_->arcgis(), layers));
    EXPECT_NE(layers.find(R"("name":"Counties")"), std::string::npos) << layers;
    // Refused, failing and non-service addresses: false, an empty reply, no crash.
    for (const std::string url :
         {std::string("http://127.0.0.1:1/closed"), server_->url("/error/503"),
          server_->url("/notjson"), server_->url("/nolayers")}) {
        layers = "stale";
        EXPECT_FALSE(stem.validateMapService(url, layers)) << url;
        EXPECT_EQ(layers, "");
    }
}

TEST_F(StemService, LayerDataModelGeoJsonAndKeyMatching) {
    ASSERT_NE(server_->port(), 0);
    std::string xml;
    ASSERT_TRUE(stem.validateServiceLayer(server_->arcgis(), 1, xml));
    EXPECT_NE(xml.find("county_id"), std::string::npos) << xml;

    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(stem.getServiceGeoJSON("", 4326, "", 3857, server_->arcgis(), 1,
                                       dir + "/counties.xml", dir + "/counties.geojson"));
    const std::string geojson = qetest::ReadFile(dir + "/counties.geojson");
    EXPECT_NE(geojson.find(R"("county":"North")"), std::string::npos) << geojson;
    // -122.5 degrees of longitude in web mercator metres.
    EXPECT_NE(geojson.find("-13636637.622"), std::string::npos) << geojson;

    const std::string context = dir + "/context.csv";
    ASSERT_TRUE(qetest::WriteFile(context, "county_id,population\n11,100\n13,50\n11,70\n"));
    std::vector<std::vector<std::string>> unmatchedMap, unmatchedData;
    int matched = -1;
    ASSERT_TRUE(stem.matchServiceKeys(server_->arcgis(), 1, {"county_id"}, unmatchedMap,
                                      LocallyUniqueID::None(), context, {"county_id"},
                                      unmatchedData, 10, matched));
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(unmatchedMap, (std::vector<std::vector<std::string>>{{"12"}}));
    EXPECT_EQ(unmatchedData, (std::vector<std::vector<std::string>>{{"13"}}));

    // A layer the service does not have.
    EXPECT_FALSE(stem.getServiceGeoJSON("", 4326, "", 3857, server_->arcgis(), 9, dir + "/none.xml",
                                        dir + "/none.geojson"));
    std::string id, message, detail;
    EXPECT_TRUE(stem.hasError(id, message, detail));
    EXPECT_FALSE(message.empty());
}
