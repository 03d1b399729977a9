// Extents and areas of use: containment and area on the sphere, across the antimeridian too.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qeinteg/platform/engine/geo/GeoExtent.h"

namespace geotest {
namespace {

using qelocal::geo::AreaOfUse;
using qelocal::geo::GeoExtent;

TEST(GeoExtentTest, BadExtentsAreRejected) {
    EXPECT_TRUE((GeoExtent{-122.5, 47.4, -122.2, 47.8}.isValidExtent()));
    EXPECT_TRUE((GeoExtent{-180, -90, 180, 90}.isValidExtent()));
    EXPECT_TRUE((GeoExtent{10, 10, 10, 10}.isValidExtent()));               // a point
    EXPECT_FALSE((GeoExtent{-122.2, 47.4, -122.5, 47.8}.isValidExtent()));  // west > east
    EXPECT_FALSE((GeoExtent{-122.5, 47.8, -122.2, 47.4}.isValidExtent()));  // south > north
    EXPECT_FALSE((GeoExtent{-181, 0, 0, 1}.isValidExtent()));
    EXPECT_FALSE((GeoExtent{0, 0, 180.5, 1}.isValidExtent()));
    EXPECT_FALSE((GeoExtent{0, -91, 1, 1}.isValidExtent()));
    EXPECT_FALSE((GeoExtent{0, 0, 1, 90.01}.isValidExtent()));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE((GeoExtent{nan, 0, 1, 1}.isValidExtent()));
    EXPECT_FALSE((GeoExtent{0, 0, inf, 1}.isValidExtent()));
}

TEST(GeoExtentTest, AreaAcrossTheAntimeridianContainsOnlyWhatLiesInIt) {
    const AreaOfUse pacific{{170, -50, -170, 10}};  // 20 degrees wide, across 180
    ASSERT_TRUE(pacific.crossesAntimeridian());
    EXPECT_TRUE(pacific.contains({175, -10, 179, 0}));
    EXPECT_TRUE(pacific.contains({-179, -10, -175, 0}));
    EXPECT_TRUE(pacific.contains({170, -50, 180, 10}));
    EXPECT_TRUE(pacific.contains({-180, -50, -170, 10}));
    // The complement: a naive west <= x <= east test would accept or reject these wrongly.
    EXPECT_FALSE(pacific.contains({0, -10, 10, 0}));
    EXPECT_FALSE(pacific.contains({-175, -10, 175, 0}));  // spans the globe the other way
    EXPECT_FALSE(pacific.contains({175, -60, 179, 0}));   // too far south

    const AreaOfUse washington{{-124.79, 47.08, -117.02, 49.05}};
    EXPECT_TRUE(washington.contains({-122.5, 47.4, -122.2, 47.8}));
    EXPECT_FALSE(washington.contains({-125, 47.4, -122.2, 47.8}));
}

TEST(GeoExtentTest, SphereFractionMeasuresCrossingAreasByTheirTrueWidth) {
    const AreaOfUse world{{-180, -90, 180, 90}};
    EXPECT_NEAR(world.sphereFraction(), 1.0, 1e-12);
    const AreaOfUse north{{-180, 0, 180, 90}};
    EXPECT_NEAR(north.sphereFraction(), 0.5, 1e-12);
    const AreaOfUse across{{170, -10, -170, 10}};
    const AreaOfUse greenwich{{-10, -10, 10, 10}};
    EXPECT_NEAR(across.sphereFraction(), greenwich.sphereFraction(), 1e-12);
    EXPECT_GT(across.sphereFraction(), 0);
    // Same width in degrees covers less of the sphere near a pole.
    const AreaOfUse polar{{-10, 70, 10, 90}};
    EXPECT_LT(polar.sphereFraction(), greenwich.sphereFraction());
    const AreaOfUse empty{{5, 5, 5, 5}};
    EXPECT_EQ(empty.sphereFraction(), 0);
}

}  // namespace
}  // namespace geotest
