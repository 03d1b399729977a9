// Coordinate systems from PROJ's database: descriptions, name lists and recommendations.
#include <gtest/gtest.h>

#include <algorithm>

#include "qeinteg/platform/engine/geo/CrsCatalog.h"

namespace geotest {
namespace {

using qelocal::geo::CrsCatalog;
using qelocal::geo::GeoExtent;
using qelocal::geo::RecommendedCrs;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CrsCatalogTest, WellKnownIdsDescribeTheirKindAndEsriWkt) {
    CrsCatalog& catalog = CrsCatalog::instance();
    const auto wgs84 = catalog.find(4326);
    ASSERT_TRUE(wgs84);
    EXPECT_EQ(wgs84->wkid, 4326);
    EXPECT_EQ(wgs84->name, "WGS 84");
    EXPECT_FALSE(wgs84->projected);
    EXPECT_EQ(wgs84->wkt.rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u) << wgs84->wkt;

    const auto mercator = catalog.find(3857);
    ASSERT_TRUE(mercator);
    EXPECT_TRUE(mercator->projected);
    EXPECT_EQ(mercator->name, "WGS 84 / Pseudo-Mercator");
    EXPECT_EQ(mercator->wkt.rfind("PROJCS[\"WGS_1984_Web_Mercator_Auxiliary_Sphere\"", 0), 0u);

    const auto utm = catalog.find(32610);
    ASSERT_TRUE(utm);
    EXPECT_TRUE(utm->projected);
    EXPECT_EQ(utm->name, "WGS 84 / UTM zone 10N");
    EXPECT_TRUE(Contains(utm->wkt, "PROJECTION[\"Transverse_Mercator\"]"));

    // An ESRI id that EPSG does not have.
    const auto esri = catalog.find(102003);
    ASSERT_TRUE(esri);
    EXPECT_EQ(esri->authority, "ESRI");
    EXPECT_TRUE(esri->projected);
}

TEST(CrsCatalogTest, NamesAndCodesResolveCaseInsensitively) {
    CrsCatalog& catalog = CrsCatalog::instance();
    const auto byName = catalog.find("wgs 84 / utm ZONE 10n");
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->wkid, 32610);
    const auto wgs = catalog.find("WGS 84");
    ASSERT_TRUE(wgs);
    EXPECT_EQ(wgs->wkid, 4326);  // the geographic 2D system, not 3D or geocentric
    const auto code = catalog.find("epsg:3857");
    ASSERT_TRUE(code);
    EXPECT_EQ(code->wkid, 3857);
    EXPECT_EQ(code->authority, "EPSG");
    // An ESRI name of a system EPSG also has.
    const auto esriName = catalog.find("WGS_1984_Web_Mercator_Auxiliary_Sphere");
    ASSERT_TRUE(esriName);
    EXPECT_TRUE(esriName->projected);
}

TEST(CrsCatalogTest, UnknownOrNonHorizontalSystemsAreNotFound) {
    CrsCatalog& catalog = CrsCatalog::instance();
    for (const int wkid : {0, -1, -4326, 1, 999999999})
        EXPECT_FALSE(catalog.find(wkid)) << wkid;
    for (const std::string name :
         {"", "no such system", "EPSG:", ":4326", "EPSG:abc", "NOAUTH:4326", "EPSG:4326:1",
          "EPSG:5703" /* vertical */, "EPSG:4978" /* geocentric */})
        EXPECT_FALSE(catalog.find(name)) << name;
    EXPECT_FALSE(catalog.find(5703));
}

TEST(CrsCatalogTest, NameListsAreSortedUniqueWithoutDeprecatedAndResolve) {
    CrsCatalog& catalog = CrsCatalog::instance();
    const auto geographics = catalog.geographicNames();
    const auto projections = catalog.projectedNames();
    ASSERT_GT(geographics.size(), 500u);
    ASSERT_GT(projections.size(), 3000u);
    for (const auto* list : {&geographics, &projections}) {
        EXPECT_TRUE(std::is_sorted(list->begin(), list->end()));
        EXPECT_EQ(std::adjacent_find(list->begin(), list->end()), list->end());
    }
    const auto has = [](const std::vector<std::string>& list, const std::string& name) {
        return std::binary_search(list.begin(), list.end(), name);
    };
    EXPECT_TRUE(has(geographics, "WGS 84"));
    EXPECT_FALSE(has(geographics, "WGS 84 / UTM zone 10N"));
    EXPECT_TRUE(has(projections, "WGS 84 / UTM zone 10N"));
    EXPECT_TRUE(has(projections, "NAD83 / Washington North (ftUS)"));
    // EPSG:3785, deprecated in favour of 3857.
    EXPECT_FALSE(has(projections, "Popular Visualisation CRS / Mercator"));
    // Every listed name leads back to a system of its kind (a sample of them).
    for (size_t i = 0; i < geographics.size(); i += 97) {
        const auto crs = catalog.find(geographics[i]);
        ASSERT_TRUE(crs) << geographics[i];
        EXPECT_FALSE(crs->projected) << geographics[i];
    }
    for (size_t i = 0; i < projections.size(); i += 397) {
        const auto crs = catalog.find(projections[i]);
        ASSERT_TRUE(crs) << projections[i];
        EXPECT_TRUE(crs->projected) << projections[i];
    }
}

TEST(CrsCatalogTest, SeattleGetsWashingtonNorthThenUtmZone10North) {
    const GeoExtent seattle{-122.5, 47.4, -122.2, 47.8};
    const std::vector<RecommendedCrs> all = CrsCatalog::instance().recommend(seattle, 0);
    ASSERT_GT(all.size(), 10u);
    EXPECT_TRUE(Contains(all[0].name, "Washington North")) << all[0].name;
    size_t lastWashington = 0, firstUtm = all.size(), lastUtm = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].name);
        EXPECT_TRUE(all[i].area.contains(seattle));
        if (i > 0) {
            EXPECT_LE(all[i - 1].areaFraction, all[i].areaFraction);
            if (all[i - 1].areaFraction == all[i].areaFraction) {
                EXPECT_LT(all[i - 1].wkid, all[i].wkid);
            }
        }
        if (Contains(all[i].name, "Washington North"))
            lastWashington = i;
        if (Contains(all[i].name, "UTM zone 10N")) {
            firstUtm = std::min(firstUtm, i);
            lastUtm = i;
        }
    }
    ASSERT_LT(firstUtm, all.size());
    EXPECT_LT(lastWashington, firstUtm);
    // Nothing world-wide or crossing the antimeridian comes before the UTM systems.
    for (size_t i = 0; i <= lastUtm; ++i) {
        EXPECT_FALSE(all[i].area.crossesAntimeridian()) << all[i].name;
        EXPECT_LT(all[i].areaFraction, 0.25) << all[i].name;
    }
    const auto it = std::find_if(all.begin(), all.end(),
                                 [](const RecommendedCrs& r) { return r.wkid == 3857; });
    ASSERT_NE(it, all.end());
    EXPECT_GT(static_cast<size_t>(it - all.begin()), lastUtm);

    // Transformations from WGS 84: NAD83 systems use the NAD83 to WGS 84 methods in reverse;
    // a WGS 84 system needs none.
    const auto nad83 = std::find_if(all.begin(), all.end(), [](const RecommendedCrs& r) {
        return r.name == "NAD83 / Washington North";
    });
    ASSERT_NE(nad83, all.end());
    ASSERT_FALSE(nad83->transMethods.empty());
    EXPECT_EQ(nad83->transMethods[0].name, "NAD83 to WGS 84 (1)");
    EXPECT_FALSE(nad83->transMethods[0].forward);
    const auto utm = std::find_if(all.begin(), all.end(),
                                  [](const RecommendedCrs& r) { return r.wkid == 32610; });
    ASSERT_NE(utm, all.end());
    EXPECT_TRUE(utm->transMethods.empty());

    const auto three = CrsCatalog::instance().recommend(seattle, 3);
    ASSERT_EQ(three.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(three[i].wkid, all[i].wkid);
}

TEST(CrsCatalogTest, ExtentsAcrossTheAntimeridianSideFindCrossingAreas) {
    // Fiji lies on both sides of 180; an extent just east of it must still find Fiji systems.
    const auto fiji = CrsCatalog::instance().recommend({-179.9, -17.5, -179.5, -16.5}, 0);
    ASSERT_FALSE(fiji.empty());
    const bool anyCrossing = std::any_of(fiji.begin(), fiji.end(), [](const RecommendedCrs& r) {
        return r.area.crossesAntimeridian();
    });
    EXPECT_TRUE(anyCrossing);
    for (const RecommendedCrs& r : fiji)
        EXPECT_TRUE(r.area.contains({-179.9, -17.5, -179.5, -16.5})) << r.name;
    EXPECT_TRUE(CrsCatalog::instance().recommend({10, 0, 5, 1}, 0).empty());
}

}  // namespace
}  // namespace geotest
