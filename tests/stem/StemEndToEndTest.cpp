// The spatio-temporal operations and commands end to end on the local engine: shape files and
// archives the tests make with OGR, points from host data, reprojection checked against PROJ.
#include <gtest/gtest.h>

#include <proj.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ShapeFixtures.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/data/TAVO_Variable.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Keys = std::vector<std::vector<std::string>>;

// (x, y) from EPSG:4326 (longitude, latitude) to EPSG:3857 by PROJ itself.
std::pair<double, double> ToWebMercator(double lon, double lat) {
    PJ_CONTEXT* context = proj_context_create();
    PJ* raw = proj_create_crs_to_crs(context, "EPSG:4326", "EPSG:3857", nullptr);
    PJ* transform = proj_normalize_for_visualization(context, raw);
    const PJ_COORD out = proj_trans(transform, PJ_FWD, proj_coord(lon, lat, 0, 0));
    proj_destroy(transform);
    proj_destroy(raw);
    proj_context_destroy(context);
    return {out.xy.x, out.xy.y};
}

// Every position of a GeoJSON geometry, in order.
void Positions(const Json& coordinates, std::vector<std::pair<double, double>>& out) {
    if (coordinates.is_array() && coordinates.size() >= 2 && coordinates[0].is_number()) {
        out.emplace_back(coordinates[0].get<double>(), coordinates[1].get<double>());
        return;
    }
    for (const Json& item : coordinates)
        Positions(item, out);
}

class StemEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        dir = qetest::TestDir();
        shp = dir + "/areas.shp";
        ASSERT_TRUE(stemtest::WriteShape(
            shp, {{"id", true}, {"name", false}},
            {stemtest::Square(8, 47), stemtest::Square(9, 47), stemtest::Square(10, 47)},
            {{"1", "north"}, {"2", "south"}, {"7", "east"}}, 4326));
    }

    std::string dir;
    std::string shp;
    QEInteractiveSTEM stem;
};

std::string Reason(QEInteractiveSTEM& stem) {
    std::string id, message, detail;
    stem.hasError(id, message, detail);
    return message;
}

}  // namespace

TEST_F(StemEndToEnd, ShapeSourceGivesItsDataModelAndReprojectedGeoJson) {
    std::string xml;
    ASSERT_TRUE(stem.validateShapeSource(shp, xml)) << Reason(stem);
    const CFMetaData model(xml);
    ASSERT_GE(model.FindField("id"), 0) << xml;
    ASSERT_GE(model.FindField("name"), 0) << xml;
    EXPECT_EQ(model.GetField(model.FindField("id")).GetStorage(), CFField::Integer);
    EXPECT_EQ(model.GetField(model.FindField("name")).GetStorage(), CFField::String);

    // Zipped as a folder, reprojected to web mercator.
    ASSERT_TRUE(stemtest::WriteZip(dir + "/areas.zip", stemtest::ShapeEntries(shp, "areas/")));
    const std::string geojson = dir + "/areas.geojson";
    ASSERT_TRUE(stem.getShapeGeoJSON("WGS 84", 0, "", 3857, dir + "/areas.zip", dir + "/areas.xml",
                                     geojson))
        << Reason(stem);
    const Json doc = Json::parse(qetest::ReadFile(geojson));
    ASSERT_EQ(doc["features"].size(), 3u);
    std::vector<std::pair<double, double>> positions;
    Positions(doc["features"][0]["geometry"]["coordinates"], positions);
    ASSERT_FALSE(positions.empty());
    for (const auto& [x, y] : positions) {
        // Each corner of the first square, (8|9, 47|48) in degrees.
        bool known = false;
        for (double lon : {8.0, 9.0}) {
            for (double lat : {47.0, 48.0}) {
                const auto [ex, ey] = ToWebMercator(lon, lat);
                known = known || (std::fabs(x - ex) < 1e-6 && std::fabs(y - ey) < 1e-6);
            }
        }
        EXPECT_TRUE(known) << x << " " << y;
    }
    EXPECT_TRUE(fs::exists(dir + "/areas.xml"));
}

TEST_F(StemEndToEnd, PointsFromHostDataBecomeGeoJsonPoints) {
    auto data = std::make_shared<HostDataset>();
    data->AddVariable(TAVO_Variable("lon", 0));
    data->AddVariable(TAVO_Variable("lat", 0));
    for (auto [lon, lat] : {std::pair{8.5, 47.3}, {7.4, 46.9}}) {
        const long row = data->AddCase();
        data->SetNumeric(row, 0, lon);
        data->SetNumeric(row, 1, lat);
    }
    const LocallyUniqueID id = SvrDMDataset::Register(data);
    const std::string geojson = dir + "/points.geojson";
    ASSERT_TRUE(stem.getPointGeoJSON("", 4326, "", 3857, id, "", {"lon", "lat"},
                                     dir + "/points.xml", geojson))
        << Reason(stem);
    const Json doc = Json::parse(qetest::ReadFile(geojson));
    ASSERT_EQ(doc["features"].size(), 2u);
    const auto [x, y] = ToWebMercator(8.5, 47.3);
    const Json& point = doc["features"][0]["geometry"];
    EXPECT_EQ(point["type"], "Point");
    EXPECT_NEAR(point["coordinates"][0].get<double>(), x, 1e-6);
    EXPECT_NEAR(point["coordinates"][1].get<double>(), y, 1e-6);
}

TEST_F(StemEndToEnd, ShapeKeysMatchContextData) {
    const std::string context = dir + "/context.csv";
    ASSERT_TRUE(qetest::WriteFile(context, "code,label\n7.0,east\n1,north\n3,west\n1,north\n"));
    Keys unmatchedMap, unmatchedData;
    int matched = -1;
    ASSERT_TRUE(stem.matchShapeKeys(shp, {"id"}, unmatchedMap, LocallyUniqueID::None(), context,
                                    {"code"}, unmatchedData, 10, matched))
        << Reason(stem);
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(unmatchedMap, (Keys{{"2"}}));
    EXPECT_EQ(unmatchedData, (Keys{{"3"}}));
    ASSERT_TRUE(stem.matchShapeKeys(shp, {"id", "name"}, unmatchedMap, LocallyUniqueID::None(),
                                    context, {"code", "label"}, unmatchedData, 10, matched))
        << Reason(stem);
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(unmatchedMap, (Keys{{"2", "south"}}));
    EXPECT_EQ(unmatchedData, (Keys{{"3", "west"}}));
}

TEST_F(StemEndToEnd, DamagedShapeFilesFailWithAReason) {
    // A .shp of garbage beside a good .dbf.
    const std::string corrupt = dir + "/corrupt.shp";
    ASSERT_TRUE(qetest::WriteFile(corrupt, std::string(300, 'x')));
    fs::copy_file(dir + "/areas.dbf", dir + "/corrupt.dbf");
    std::string xml;
    EXPECT_FALSE(stem.validateShapeSource(corrupt, xml));
    EXPECT_NE(Reason(stem), "");
    EXPECT_FALSE(
        stem.getShapeGeoJSON("", 0, "", 3857, corrupt, dir + "/c.xml", dir + "/c.geojson"));
    EXPECT_NE(Reason(stem), "");
    EXPECT_FALSE(fs::exists(dir + "/c.geojson"));

    // A .prj naming no system anyone knows: nothing to reproject from.
    for (const char* ext : {".shp", ".shx", ".dbf"})
        fs::copy_file(dir + "/areas" + ext, dir + "/nowhere" + ext);
    ASSERT_TRUE(qetest::WriteFile(dir + "/nowhere.prj", "GEOGCS[\"nowhere\",nonsense]"));
    EXPECT_FALSE(stem.getShapeGeoJSON("", 0, "", 3857, dir + "/nowhere.shp", dir + "/n.xml",
                                      dir + "/n.geojson"));
    EXPECT_NE(Reason(stem), "");
    EXPECT_FALSE(fs::exists(dir + "/n.geojson"));
}
