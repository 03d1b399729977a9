// Geometry values (WKB) as the engine keeps them, and their place in the data model.
#include <gtest/gtest.h>

#include <ogr_geometry.h>

#include <random>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/geo/Wkb.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

using qelocal::geo::Wkb;
using Json = nlohmann::json;

namespace {

std::string WkbOf(const std::string& wkt) {
    OGRGeometry* g = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g);
    EXPECT_NE(g, nullptr) << wkt;
    std::string out(static_cast<size_t>(g->WkbSize()), '\0');
    g->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(out.data()), wkbVariantIso);
    char* json = g->exportToJson();
    OGRGeometryFactory::destroyGeometry(g);
    CPLFree(json);
    return out;
}

Json OgrJson(const std::string& wkt) {
    OGRGeometry* g = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g);
    char* text = g->exportToJson();
    Json out = Json::parse(text);
    CPLFree(text);
    OGRGeometryFactory::destroyGeometry(g);
    return out;
}

const std::vector<std::string> kShapes = {
    "POINT (1 2)",
    "POINT Z (1 2 3)",
    "LINESTRING (0 0,1 1,2 0.5)",
    "POLYGON ((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 1))",
    "MULTIPOINT ((1 2),(3 4))",
    "MULTILINESTRING ((0 0,1 1),(2 2,3 3,4 4))",
    "MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5),(5.2 5.1,5.5 5.1,5.5 5.4,5.2 5.1)))",
    "GEOMETRYCOLLECTION (POINT (1 2),LINESTRING (0 0,1 1))",
    "POLYGON Z ((0 0 1,4 0 2,4 4 3,0 0 1))",
};

}  // namespace

TEST(GeoValues, GeoJsonOfEveryGeometryTypeMatchesOgr) {
    for (const std::string& wkt : kShapes) {
        SCOPED_TRACE(wkt);
        std::string out = "prefix";
        ASSERT_TRUE(Wkb::AppendGeoJson(WkbOf(wkt), out));
        ASSERT_EQ(out.rfind("prefix", 0), 0u);
        EXPECT_EQ(Json::parse(out.substr(6)), OgrJson(wkt));
    }
}

TEST(GeoValues, MalformedWkbIsRefusedWithoutReadingPastTheEnd) {
    std::mt19937 random(7);
    for (const std::string& wkt : kShapes) {
        SCOPED_TRACE(wkt);
        const std::string whole = WkbOf(wkt);
        qelocal::geo::WkbLayout layout;
        ASSERT_TRUE(Wkb::Layout(whole, layout));
        // Every truncation is refused and leaves the output as it was; copies make the sanitizer
        // see any read beyond the end.
        for (size_t n = 0; n < whole.size(); ++n) {
            const std::string cut(whole.data(), n);
            std::string out = "x";
            EXPECT_FALSE(Wkb::AppendGeoJson(cut, out)) << n;
            EXPECT_EQ(out, "x");
            EXPECT_FALSE(Wkb::Layout(cut, layout)) << n;
            double bounds[4];
            bool any = false;
            EXPECT_FALSE(Wkb::Extend(cut, bounds, any)) << n;
        }
        // Trailing bytes and damaged bytes never crash; counts that promise more than there is
        // are refused.
        EXPECT_FALSE(Wkb::Layout(whole + "z", layout));
        for (int round = 0; round < 200; ++round) {
            std::string damaged = whole;
            damaged[random() % damaged.size()] = static_cast<char>(random());
            std::string out;
            Wkb::AppendGeoJson(damaged, out);
            Wkb::Layout(damaged, layout);
        }
    }
    std::string huge = WkbOf("LINESTRING (0 0,1 1)");
    huge[5] = '\xff';
    huge[6] = '\xff';
    huge[7] = '\xff';
    huge[8] = '\x7f';
    qelocal::geo::WkbLayout layout;
    EXPECT_FALSE(Wkb::Layout(huge, layout));
    // Big-endian values and unknown types are refused.
    std::string big = WkbOf("POINT (1 2)");
    big[0] = 0;
    EXPECT_FALSE(Wkb::Layout(big, layout));
    std::string unknown = WkbOf("POINT (1 2)");
    unknown[1] = 17;
    EXPECT_FALSE(Wkb::Layout(unknown, layout));
    // A multi point whose member is a line is refused.
    std::string mixed = WkbOf("MULTIPOINT ((1 2))");
    mixed[10] = 2;  // the member's type
    EXPECT_FALSE(Wkb::Layout(mixed, layout));
    // Nesting deeper than any real geometry is refused rather than recursed into.
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += std::string("\x01\x07\x00\x00\x00\x01\x00\x00\x00", 9);
    EXPECT_FALSE(Wkb::Layout(deep, layout));
}

TEST(GeoValues, CoordinateListsBecomePointsOnlyWhenComplete) {
    std::string point;
    std::string why;
    ASSERT_TRUE(Wkb::PointFromList("[1.5,-2]", 2, point, why));
    EXPECT_EQ(point, WkbOf("POINT (1.5 -2)"));
    ASSERT_TRUE(Wkb::PointFromList("[1, 2, 3]", 3, point, why));
    EXPECT_EQ(point, WkbOf("POINT Z (1 2 3)"));
    struct Case {
        const char* list;
        int count;
        const char* why;
    };
    for (const Case& c :
         {Case{"[null,2]", 2, "has a missing coordinate"}, Case{"[1,\"a\"]", 2, "not a number"},
          Case{"[1]", 2, "has 1 coordinates, not 2"}, Case{"[1,2,3,4]", 3, "more than 3"},
          Case{"[1,2", 2, "not a list"}, Case{"1,2", 2, "not a list"}, Case{"", 2, "not a list"},
          Case{"[1e999,2]", 2, "not a number"}}) {
        SCOPED_TRACE(c.list);
        EXPECT_FALSE(Wkb::PointFromList(c.list, c.count, point, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

TEST(GeoValues, GeometryMetadataSurvivesTheDataModelDocument) {
    qelocal::EngineField id{"id", qelocal::Storage::Integer};
    qelocal::EngineField shape{"geometry", qelocal::Storage::String};
    qelocal::GeoInfo geo;
    geo.type = "MultiPolygon";
    geo.coordinates = 2;
    geo.wkid = 102003;
    geo.csName = "USA_Contiguous_Albers_Equal_Area_Conic";
    geo.wkt = "PROJCS[\"x\",GEOGCS[\"y\"]]";
    geo.projected = true;
    geo.envelope = qelocal::GeoEnvelope{-0.1, 5e6, 1e-7, -3};
    shape.geo = geo;
    const std::string xml = qelocal::DataModelDocument({id, shape});
    const auto fields = qelocal::ParseDataModelXml(xml);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_FALSE(fields[0].geo);
    ASSERT_TRUE(fields[1].geo);
    const qelocal::GeoInfo& back = *fields[1].geo;
    EXPECT_EQ(back.type, geo.type);
    EXPECT_EQ(back.wkid, geo.wkid);
    EXPECT_EQ(back.csName, geo.csName);
    EXPECT_EQ(back.wkt, geo.wkt);
    EXPECT_TRUE(back.projected);
    ASSERT_TRUE(back.envelope);
    EXPECT_EQ(back.envelope->leftUpperX, -0.1);
    EXPECT_EQ(back.envelope->leftUpperY, 5e6);
    EXPECT_EQ(back.envelope->rightLowerX, 1e-7);
    EXPECT_EQ(back.envelope->rightLowerY, -3);
    EXPECT_EQ(qelocal::DataModelDocument(fields), xml);
}
