#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/geo/CoordinateTransform.h"
#include "qeinteg/platform/engine/geo/GdalLibrary.h"
#include "qeinteg/platform/engine/geo/ProjLibrary.h"

namespace {

// Whether a library whose file name contains `name` is mapped into this process.
bool Mapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(name) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

TEST(GdalLibrary, ProjIsLoadedOnlyWhenCoordinatesAreConverted) {
    // PROJ and its forty libraries come with the first conversion, not with the engine; the
    // conversion then works through the forwarders as if PROJ were linked.
    if (!qelocal::geo::ProjLoaded())
        EXPECT_FALSE(Mapped("libproj.so"));
    std::string reason;
    const auto transform = qelocal::geo::CoordinateTransform::Create(
        qelocal::geo::SystemRef{"", 4326, ""}, qelocal::geo::SystemRef{"", 3857, ""}, "", reason);
    ASSERT_NE(transform, nullptr) << reason;
    EXPECT_TRUE(qelocal::geo::ProjLoaded());
    EXPECT_TRUE(Mapped("libproj.so"));
    EXPECT_TRUE(transform->target().projected);
    double x = 180.0;
    double y = 0.0;
    ASSERT_EQ(transform->transform(&x, &y, nullptr, sizeof(double), 1), 1u);
    EXPECT_NEAR(x, 20037508.342789244, 1e-6);
    EXPECT_NEAR(y, 0.0, 1e-6);
}

TEST(GdalLibrary, GdalIsLoadedOnlyWhenAGeographicSourceIsUsed) {
    // Nothing in this program has read a geographic source yet: GDAL's libraries, a tenth of a
    // second to load, must not have come with the engine.
    EXPECT_FALSE(Mapped("libgdal.so"));
    const qelocal::geo::GdalEntryPoints& gdal = qelocal::geo::GdalLibrary();
    EXPECT_TRUE(Mapped("libqelocal_gdal.so"));
    EXPECT_TRUE(Mapped("libgdal.so"));
    EXPECT_EQ(&qelocal::geo::GdalLibrary(), &gdal);  // loaded once

    // The engine's own error crosses from the loaded library with its text.
    const std::string path = qetest::TestDir() + "/none.shp";
    try {
        gdal.openShape(path, "read (line 1, column 5)");
        ADD_FAILURE() << "a missing shape file was opened";
    } catch (const qelocal::EngineError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "read (line 1, column 5): the shape file " + path + " does not exist");
    }
}
