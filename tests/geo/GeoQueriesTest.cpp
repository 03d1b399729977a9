// Geo metadata queries from the library through the local engine's real metadata service.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "MapServiceFixture.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/geo/GeoMetadata.h"
#include "qeinteg/runner/QERunner.h"

namespace geotest {
namespace {

using qelocal::LocalEngine;
using Strings = std::vector<std::string>;

class GeoQueriesTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        BypassProxiesForLoopback();
        server_ = new FixtureServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        LocalEngine::instance().reset();
        LocalEngine::instance().setMapServiceTimeout(std::chrono::milliseconds(2000));
    }
    void TearDown() override { LocalEngine::instance().reset(); }

    // The reasons the engine recorded for empty answers of `operation`.
    static Strings Reasons(const std::string& operation) {
        Strings out;
        for (const auto& call : LocalEngine::instance().calls("metadataMessage")) {
            if (call.args.size() == 2 && call.args[0] == operation)
                out.push_back(call.args[1]);
        }
        return out;
    }

    static FixtureServer* server_;
};

FixtureServer* GeoQueriesTest::server_ = nullptr;

TEST_F(GeoQueriesTest, CoordinateSystemsByIdAndNameParseToTheirKind) {
    QERunner runner(nullptr);
    int wkid = 0;
    std::string name, wkt;
    QERunner::CSTYPE type = QERunner::CSUnknown;
    ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(runner.getCoordinatesSystemInfo(4326), wkid,
                                                     name, wkt, type));
    EXPECT_EQ(wkid, 4326);
    EXPECT_EQ(name, "WGS 84");
    EXPECT_EQ(type, QERunner::CSGeographic);
    EXPECT_EQ(wkt.rfind("GEOGCS[", 0), 0u);
    for (const int projected : {3857, 32610}) {
        ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(runner.getCoordinatesSystemInfo(projected),
                                                         wkid, name, wkt, type));
        EXPECT_EQ(wkid, projected);
        EXPECT_EQ(type, QERunner::CSProjected);
        EXPECT_EQ(wkt.rfind("PROJCS[", 0), 0u);
    }
    ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(
        runner.getCoordinatesSystemInfo("NAD83 / Washington North"), wkid, name, wkt, type));
    EXPECT_EQ(wkid, 32148);
    EXPECT_EQ(type, QERunner::CSProjected);

    // Unknown systems: an empty text and a reason on the engine's side, never an exception.
    EXPECT_EQ(runner.getCoordinatesSystemInfo(0), "");
    EXPECT_EQ(runner.getCoordinatesSystemInfo(-1), "");
    EXPECT_EQ(runner.getCoordinatesSystemInfo("Atlantis Grid"), "");
    const Strings reasons = Reasons("coordinatesSystem");
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[0], "no horizontal coordinate system has the well-known id 0");
    EXPECT_EQ(reasons[2], "no horizontal coordinate system is named 'Atlantis Grid'");
}

TEST_F(GeoQueriesTest, RecommendationsForSeattleParseBestFirst) {
    QERunner runner(nullptr);
    QERunner::RecommendPCSInputMaker input;
    input.addInput(4, -122.5, 47.8, -122.2, 47.4);
    input.addInput(2, -122.5, 47.8, -122.2, 47.4);
    Strings replies;
    runner.getRecommendPCSs(replies, input.toString(), 5);
    ASSERT_EQ(replies.size(), 2u);
    int key = -1;
    std::vector<QERunner::RecommendPCS> systems;
    ASSERT_TRUE(QERunner::ParseRecommendPCS(replies[0], key, systems));
    EXPECT_EQ(key, 2);
    ASSERT_EQ(systems.size(), 5u);
    EXPECT_NE(systems[0].name.find("Washington North"), std::string::npos) << systems[0].name;
    EXPECT_EQ(systems[0].wkt.rfind("PROJCS[", 0), 0u);
    EXPECT_EQ(systems[0].transMethods.size(), systems[0].transForward.size());
    ASSERT_TRUE(QERunner::ParseRecommendPCS(replies[1], key, systems));
    EXPECT_EQ(key, 4);

    runner.getRecommendPCSs(replies, input.toString());
    ASSERT_EQ(replies.size(), 2u);
    ASSERT_TRUE(QERunner::ParseRecommendPCS(replies[0], key, systems));
    EXPECT_GT(systems.size(), 10u);
    EXPECT_TRUE(Reasons("recommendPCS").empty());
}

TEST_F(GeoQueriesTest, BadRecommendationInputsGiveNothingAndAReason) {
    const Strings bad = {
        "",
        "not json",
        "[1,2]",
        R"({"0":[-122.5,47.8,-122.2,47.4]})",
        R"({"x":{"leftUpperX":-122.5,"leftUpperY":47.8,"rightLowerX":-122.2,"rightLowerY":47.4}})",
        R"({"0":{"leftUpperX":-122.2,"leftUpperY":47.8,"rightLowerX":-122.5,"rightLowerY":47.4}})",
        R"({"0":{"leftUpperX":-122.5,"leftUpperY":47.4,"rightLowerX":-122.2,"rightLowerY":47.8}})",
        R"({"0":{"leftUpperX":-190,"leftUpperY":47.8,"rightLowerX":-122.2,"rightLowerY":47.4}})",
        R"({"0":{"leftUpperX":-122.5,"leftUpperY":95,"rightLowerX":-122.2,"rightLowerY":47.4}})",
        R"({"0":{"leftUpperX":"-122.5","leftUpperY":47.8,"rightLowerX":-122.2,"rightLowerY":47.4}})",
        R"({"0":{"leftUpperY":47.8,"rightLowerX":-122.2,"rightLowerY":47.4}})",
    };
    for (const std::string& input : bad) {
        SCOPED_TRACE(input);
        std::string reason;
        EXPECT_TRUE(qelocal::geo::GeoMetadata::recommendPCS(input, 3, reason).empty());
        EXPECT_FALSE(reason.empty());
    }
    // A bad extent does not spoil a good one beside it.
    std::string reason;
    const Strings mixed = qelocal::geo::GeoMetadata::recommendPCS(
        R"({"1":{"leftUpperX":0,"leftUpperY":0,"rightLowerX":-1,"rightLowerY":0},)"
        R"("2":{"leftUpperX":-122.5,"leftUpperY":47.8,"rightLowerX":-122.2,"rightLowerY":47.4}})",
        1, reason);
    ASSERT_EQ(mixed.size(), 1u);
    EXPECT_EQ(mixed[0].rfind("{\"2\":[{\"wkid\":", 0), 0u) << mixed[0];
    EXPECT_NE(reason.find("extent 1"), std::string::npos) << reason;

    QERunner runner(nullptr);
    Strings replies{"old"};
    runner.getRecommendPCSs(replies, "[]", 3);
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(Reasons("recommendPCS").size(), 1u);
}

TEST_F(GeoQueriesTest, MapServiceLayersThroughTheRunner) {
    ASSERT_NE(server_->port(), 0);
    QERunner runner(nullptr);
    std::string reply;
    ASSERT_TRUE(runner.getMapServiceLayers(server_->arcgis(), reply));
    std::vector<QERunner::LayerInfo> layers;
    ASSERT_TRUE(QERunner::ParseMapServiceLayers(reply, layers));
    ASSERT_EQ(layers.size(), 4u);
    EXPECT_EQ(layers[0].subLayers, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(layers[1].name, "Counties");
    EXPECT_EQ(layers[1].keys, "county_id,county");
    EXPECT_EQ(layers[1].features, "polygon");

    ASSERT_TRUE(runner.getMapServiceLayers(server_->ogc(), reply));
    ASSERT_TRUE(QERunner::ParseMapServiceLayers(reply, layers));
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0].id, 0);
    EXPECT_EQ(layers[0].name, "Counties");
    EXPECT_EQ(layers[0].keys, "county_id,county");

    EXPECT_FALSE(runner.getMapServiceLayers(server_->url("/error/503"), reply));
    EXPECT_EQ(reply, "");
    const Strings reasons = Reasons("mapServiceLayers");
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("503"), std::string::npos) << reasons[0];
}

TEST_F(GeoQueriesTest, CoordinateSystemNameListsComeFromTheDatabase) {
    QERunner runner(nullptr);
    Strings geographics, projections;
    runner.getGeographics(geographics);
    runner.getProjections(projections);
    EXPECT_TRUE(std::binary_search(geographics.begin(), geographics.end(), "WGS 84"));
    EXPECT_TRUE(
        std::binary_search(projections.begin(), projections.end(), "WGS 84 / Pseudo-Mercator"));
}

}  // namespace
}  // namespace geotest
