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
