// Geographic jobs on the local engine, run as job texts through its executor: shape and
// map-service reads, reprojection, points from coordinates, GeoJSON and data model output.
#include <gtest/gtest.h>

#include <proj.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "EngineTestUtil.h"
#include "GeoShapes.h"
#include "MapServiceFixture.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutor.h"

using namespace qelocal;
using enginetest::MemoryIterator;
using enginetest::RecordingListener;
using geotest::MakeShape;
using geotest::ShapeFeature;
using Json = nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

struct JobResult {
    bool ok = false;
    std::string error;
};

JobResult RunJob(const std::string& job, std::vector<EmbeddedQE::RowDataIterator*> iterators = {}) {
    JNIEnv* env = qetest::MainEnv();
    RecordingListener listener;
    LocalExecutor executor("en_US");
    executor.prepare(env, job);
    for (auto* it : iterators)
        executor.addInputIterator(env, it, 0);
    executor.execute(env, &listener);
    executor.release(env);
    const auto endings = listener.endings();
    return JobResult{!endings.empty() && endings.back() == "success", listener.errorText};
}

std::string ShapeRead(const std::string& shp, const std::string& extra = "") {
    return "read({\"geospatial\":{\"location\":\"" + Uri(shp) + "\",\"type\":\"shp\"}" + extra +
           "})";
}

std::string GeoJsonWrite(const std::string& out, const std::string& model,
                         const std::string& metadata = "") {
    return "write({\"dataDestination\":\"" + Uri(out) + "\",\"dataModelDestination\":\"" +
           Uri(model) + "\",\"type\":\"text/geojson\"" + metadata + "}, _)";
}

std::string Reproject(const std::string& entry) {
    return "reprojection({\"type\":\"all\",\"reprojectionFields\":[" + entry + "]}, _)";
}

Json ReadJson(const std::string& path) {
    std::ifstream in(path);
    return Json::parse(in);
}

// The <geo> element of field `name` in a data model file.
pugi::xml_node GeoOf(pugi::xml_document& doc, const std::string& path, const std::string& name) {
    doc.load_file(path.c_str());
    return doc.child("dataModel")
        .find_child_by_attribute("field", "name", name.c_str())
        .child("geo");
}

// PROJ's own conversion of (x, y), longitude/easting first.
std::pair<double, double> ProjTransform(const char* from, const char* to, double x, double y) {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* raw = proj_create_crs_to_crs(ctx, from, to, nullptr);
    PJ* pj = proj_normalize_for_visualization(ctx, raw);
    PJ_COORD c = proj_coord(x, y, 0, 0);
    c = proj_trans(pj, PJ_FWD, c);
    proj_destroy(pj);
    proj_destroy(raw);
    proj_context_destroy(ctx);
    return {c.xy.x, c.xy.y};
}

const std::vector<ShapeFeature> kPolygons = {
    {"POLYGON ((-122.5 47.6,-122.2 47.6,-122.2 47.8,-122.5 47.8,-122.5 47.6))", 7, "North"},
    {"POLYGON ((-122.5 47.4,-122.2 47.4,-122.2 47.6,-122.5 47.6,-122.5 47.4))", 12, "South"}};

const std::vector<ShapeFeature> kPoints = {{"POINT (-122.33 47.61)", 1, "Seattle"},
                                           {"POINT (-0.1276 51.5072)", 2, "London"},
                                           {"POINT (151.2093 -33.8688)", 3, "Sydney"}};

class EngineGeo : public testing::Test {
  protected:
    void SetUp() override {
        LocalEngine::instance().reset();
        dir = qetest::TestDir() + "/engine_geo/" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::string dir;
};

}  // namespace

TEST_F(EngineGeo, ShapeAttributesGeometryAndSystemReachGeoJsonAndModel) {
    const std::string shp = MakeShape(dir, "areas", kPolygons, 4326);
    ASSERT_FALSE(shp.empty());
    const std::string out = dir + "/areas.geojson";
    const std::string model = dir + "/areas.xml";
    const JobResult r = RunJob(ShapeRead(shp) + " -> " + GeoJsonWrite(out, model) + "\n");
    ASSERT_TRUE(r.ok) << r.error;

    const Json doc = ReadJson(out);
    EXPECT_EQ(doc["type"], "FeatureCollection");
    EXPECT_FALSE(doc.contains("metadata"));
    ASSERT_EQ(doc["features"].size(), 2u);
    const Json& first = doc["features"][0];
    EXPECT_EQ(first["properties"], Json::parse(R"({"id":7,"name":"North"})"));
    EXPECT_EQ(doc["features"][1]["properties"]["id"], 12);
    EXPECT_EQ(first["geometry"]["type"], "Polygon");
    // Longitude first, the ring as written (shape files keep outer rings clockwise, so OGR may
    // reverse it; compare as a set of corners).
    std::set<std::pair<double, double>> corners;
    for (const Json& p : first["geometry"]["coordinates"][0])
        corners.insert({p[0].get<double>(), p[1].get<double>()});
    EXPECT_EQ(corners, (std::set<std::pair<double, double>>{
                           {-122.5, 47.6}, {-122.2, 47.6}, {-122.2, 47.8}, {-122.5, 47.8}}));

    pugi::xml_document xml;
    const pugi::xml_node geo = GeoOf(xml, model, "geometry");
    ASSERT_TRUE(geo) << qetest::ReadFile(model);
    EXPECT_STREQ(geo.attribute("type").as_string(), "Polygon");
    EXPECT_EQ(geo.attribute("wkid").as_int(), 4326);
    EXPECT_STREQ(geo.attribute("csname").as_string(), "WGS 84");
    EXPECT_STREQ(geo.attribute("isProjected").as_string(), "false");
    const pugi::xml_node envelope = geo.child("envelope");
    EXPECT_DOUBLE_EQ(envelope.attribute("leftUpperX").as_double(), -122.5);
    EXPECT_DOUBLE_EQ(envelope.attribute("leftUpperY").as_double(), 47.8);
    EXPECT_DOUBLE_EQ(envelope.attribute("rightLowerX").as_double(), -122.2);
    EXPECT_DOUBLE_EQ(envelope.attribute("rightLowerY").as_double(), 47.4);
    // The attributes keep their storages.
    pugi::xml_node root = xml.child("dataModel");
    EXPECT_STREQ(root.find_child_by_attribute("field", "name", "id").attribute("storage").value(),
                 "integer");
    EXPECT_STREQ(root.find_child_by_attribute("field", "name", "name").attribute("storage").value(),
                 "string");
}

TEST_F(EngineGeo, ShapeDataModelGivesTheWholeLayerEnvelopeEvenFromOneRecord) {
    const std::string shp = MakeShape(dir, "areas", kPolygons, 4326);
    const std::string model = dir + "/model.xml";
    const JobResult r = RunJob(
        ShapeRead(shp, ",\"maxRecordsCount\":1") +
        " -> dataModelBuilder([{\"normalizeDataModel\":true},{\"export\":true,\"name\":\"m\","
        "\"uri\":\"" +
        Uri(model) + "\"}], _)\n");
    ASSERT_TRUE(r.ok) << r.error;
    pugi::xml_document xml;
    const pugi::xml_node geo = GeoOf(xml, model, "geometry");
    ASSERT_TRUE(geo) << qetest::ReadFile(model);
    EXPECT_STREQ(geo.attribute("type").as_string(), "Polygon");
    EXPECT_DOUBLE_EQ(geo.child("envelope").attribute("rightLowerY").as_double(), 47.4);
    // Normalisation settles the attributes' measures and leaves the geometry's alone.
    pugi::xml_node root = xml.child("dataModel");
    EXPECT_STREQ(root.find_child_by_attribute("field", "name", "name").attribute("measure").value(),
                 "nominal");
    EXPECT_STREQ(
        root.find_child_by_attribute("field", "name", "geometry").attribute("measure").value(),
        "typeless");
}

TEST_F(EngineGeo, ReprojectedPointsEqualProjsOwnTransform) {
    const std::string shp = MakeShape(dir, "cities", kPoints, 4326);
    struct Case {
        std::string entry;
        const char* target;
        int wkid;
    };
    const std::vector<Case> cases = {
        {R"({"outSR":{"wkid":3857}})", "EPSG:3857", 3857},
        {R"({"inSR":{"csName":"GCS_WGS_1984"},"outSR":{"csName":"WGS_1984_Web_Mercator_Auxiliary_Sphere"}})",
         "EPSG:3857", 102100},  // ESRI spellings; ESRI's own id for Web Mercator
        {R"({"outSR":{"csName":"ETRS89 / LAEA Europe"}})", "EPSG:3035", 3035},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const std::string out = dir + "/cities.geojson";
        const std::string model = dir + "/cities.xml";
        const JobResult r = RunJob(ShapeRead(shp) + " -> " + Reproject(c.entry) + " -> " +
                                   GeoJsonWrite(out, model) + "\n");
        ASSERT_TRUE(r.ok) << r.error;
        const Json doc = ReadJson(out);
        ASSERT_EQ(doc["features"].size(), kPoints.size());
        const double lonlat[3][2] = {{-122.33, 47.61}, {-0.1276, 51.5072}, {151.2093, -33.8688}};
        for (size_t i = 0; i < kPoints.size(); ++i) {
            const auto [x, y] = ProjTransform("EPSG:4326", c.target, lonlat[i][0], lonlat[i][1]);
            const Json& p = doc["features"][i]["geometry"]["coordinates"];
            EXPECT_NEAR(p[0].get<double>(), x, 1e-6) << i;
            EXPECT_NEAR(p[1].get<double>(), y, 1e-6) << i;
        }
        pugi::xml_document xml;
        const pugi::xml_node geo = GeoOf(xml, model, "geometry");
        EXPECT_EQ(geo.attribute("wkid").as_int(), c.wkid);
        EXPECT_STREQ(geo.attribute("isProjected").as_string(), "true");
        // The model's envelope is the one of the written, converted coordinates.
        const auto [minX, minY] = ProjTransform("EPSG:4326", c.target, -122.33, -33.8688);
        (void)minY;
        if (c.wkid != 3035)
            EXPECT_NEAR(geo.child("envelope").attribute("leftUpperX").as_double(), minX, 1e-6);
    }
}

TEST_F(EngineGeo, CartesianAndSystemlessGeometryAreNeverGuessed) {
    const std::string shp = MakeShape(dir, "plain", kPoints, 0);  // no .prj
    const std::string out = dir + "/plain.geojson";
    const std::string model = dir + "/plain.xml";
    // CARTESIAN on either side: the coordinates pass unchanged.
    for (const char* entry : {R"({"inSR":{"csName":"CARTESIAN"},"outSR":{"wkid":3857}})",
                              R"({"inSR":{"wkid":4326},"outSR":{"csName":"CARTESIAN"}})"}) {
        SCOPED_TRACE(entry);
        const JobResult r = RunJob(ShapeRead(shp) + " -> " + Reproject(entry) + " -> " +
                                   GeoJsonWrite(out, model) + "\n");
        ASSERT_TRUE(r.ok) << r.error;
        const Json doc = ReadJson(out);
        EXPECT_EQ(doc["features"][0]["geometry"]["coordinates"], Json::parse("[-122.33,47.61]"));
        pugi::xml_document xml;
        EXPECT_FALSE(GeoOf(xml, model, "geometry").attribute("wkid")) << "no system invented";
    }
    // Without a .prj and without inSR there is nothing to convert from.
    fs::remove(out);
    JobResult r = RunJob(ShapeRead(shp) + " -> " + Reproject(R"({"outSR":{"wkid":3857}})") +
                         " -> " + GeoJsonWrite(out, model) + "\n");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("inSR"), std::string::npos) << r.error;
    EXPECT_FALSE(fs::exists(out));
    // With inSR it converts.
    r = RunJob(ShapeRead(shp) + " -> " +
               Reproject(R"({"inSR":{"csName":"WGS 84"},"outSR":{"wkid":3857}})") + " -> " +
               GeoJsonWrite(out, model) + "\n");
    ASSERT_TRUE(r.ok) << r.error;
    const auto [x, y] = ProjTransform("EPSG:4326", "EPSG:3857", -122.33, 47.61);
    const Json p = ReadJson(out)["features"][0]["geometry"]["coordinates"];
    EXPECT_NEAR(p[0].get<double>(), x, 1e-6);
    EXPECT_NEAR(p[1].get<double>(), y, 1e-6);
}

TEST_F(EngineGeo, UnknownSystemsAndMethodsFailBeforeAnyOutput) {
    const std::string shp = MakeShape(dir, "cities", kPoints, 4326);
    const std::string out = dir + "/x.geojson";
    const std::string model = dir + "/x.xml";
    struct Case {
        std::string entry;
        std::string inError;
    };
    const std::vector<Case> cases = {
        {R"({"outSR":{"csName":"No Such System"}})", "'No Such System' is not known"},
        {R"({"outSR":{"wkid":999999}})", "999999 is not known"},
        {R"({"inSR":{"wkid":4326}})", "\"outSR\" is missing"},
        {R"({"outSR":{"wkid":4267,"transMethodsName":"Nonexistent method"}})",
         "no transformation named 'Nonexistent method'"},
        {R"({"name":"id","outSR":{"wkid":3857}})", "holds no geometry"},
        {R"({"name":"nothere","outSR":{"wkid":3857}})", "no field 'nothere'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const JobResult r = RunJob(ShapeRead(shp) + " -> " + Reproject(c.entry) + " -> " +
                                   GeoJsonWrite(out, model) + "\n");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.inError), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(model));
    }
    // A method the database offers between the two systems is taken by name.
    const JobResult r =
        RunJob(ShapeRead(shp) + " -> " +
               Reproject(R"j({"outSR":{"wkid":4267,"transMethodsName":"NAD27 to WGS 84 (4)"}})j") +
               " -> " + GeoJsonWrite(out, model) + "\n");
    EXPECT_TRUE(r.ok) << r.error;
}

TEST_F(EngineGeo, BadShapesFailThroughOnErrorAndLeaveNoFiles) {
    struct Case {
        std::string name;
        std::function<void(const std::string& shp)> spoil;
        std::string inError;
    };
    const std::vector<Case> cases = {
        {"roads",
         [](const std::string& shp) { fs::remove(fs::path(shp).replace_extension(".dbf")); },
         "has no .dbf file"},
        {"corrupt",
         [](const std::string& shp) { qetest::WriteFile(shp, std::string(100, '\x17')); },
         "is not a readable shape file"},
        {"truncated", [](const std::string& shp) { fs::resize_file(shp, fs::file_size(shp) - 30); },
         "read"},
        {"badprj",
         [](const std::string& shp) {
             qetest::WriteFile(fs::path(shp).replace_extension(".prj").string(),
                               "this names no system at all");
         },
         "names no coordinate system this engine knows"},
        {"missing", [](const std::string& shp) { fs::remove(shp); }, "does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string shp = MakeShape(dir, c.name, kPolygons, 4326);
        ASSERT_FALSE(shp.empty());
        c.spoil(shp);
        const std::string out = dir + "/" + c.name + ".geojson";
        const std::string model = dir + "/" + c.name + ".xml";
        const JobResult r = RunJob(ShapeRead(shp) + " -> " + GeoJsonWrite(out, model) + "\n");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.inError), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(model));
    }
}

TEST_F(EngineGeo, CoordinateFieldsBecomePointsReprojectedWithTheirMetadata) {
    MemoryIterator it("pointData",
                      {{"id", Storage::Integer},
                       {"lon", Storage::Real},
                       {"lat", Storage::Real},
                       {"h", Storage::Real}},
                      {{"7", "-122.33", "47.61", "56"}, {"8", "-0.1276", "51.5072", "11"}});
    const std::string out = dir + "/points.geojson";
    const std::string model = dir + "/points.xml";
    const std::string update =
        R"(updateDataModel({"fields":[{"name":"pointCoord","Geo":{"type":"Point","coordinates":"2","wkid":"4326","csname":"WGS 84","isProjected":false,"wkt":"GEOGCS[]","GeoEnvelope":{"leftUpperX":-122.33,"leftUpperY":51.5072,"rightLowerX":-0.1276,"rightLowerY":47.61}}}]}, _))";
    const std::string job =
        "val coords = ctx => x => (\"pointCoord\", [x.lon,x.lat])\n"
        "read({\"dataSource\":\"pointData\"}) -> deriveFields(_, coords) -> " +
        update + " -> " + Reproject(R"({"inSR":{"csName":"WGS 84"},"outSR":{"wkid":3857}})") +
        " -> " + GeoJsonWrite(out, model, R"(,"metadata":{"resourceId":"points","key":"id"})") +
        "\n";
    JobResult r = RunJob(job, {&it});
    ASSERT_TRUE(r.ok) << r.error;
    const Json doc = ReadJson(out);
    EXPECT_EQ(doc["metadata"], Json::parse(R"({"resourceId":"points","key":"id"})"));
    ASSERT_EQ(doc["features"].size(), 2u);
    EXPECT_EQ(doc["features"][0]["id"], 7);
    EXPECT_EQ(doc["features"][1]["properties"]["lat"], 51.5072);
    EXPECT_FALSE(doc["features"][0]["properties"].contains("pointCoord"));
    const auto [x, y] = ProjTransform("EPSG:4326", "EPSG:3857", -122.33, 47.61);
    const Json& p = doc["features"][0]["geometry"];
    EXPECT_EQ(p["type"], "Point");
    EXPECT_NEAR(p["coordinates"][0].get<double>(), x, 1e-6);
    EXPECT_NEAR(p["coordinates"][1].get<double>(), y, 1e-6);
    pugi::xml_document xml;
    const pugi::xml_node geo = GeoOf(xml, model, "pointCoord");
    EXPECT_STREQ(geo.attribute("type").as_string(), "Point");
    EXPECT_EQ(geo.attribute("coordinates").as_int(), 2);
    EXPECT_EQ(geo.attribute("wkid").as_int(), 3857);

    // Three coordinates keep their third; the planar form (no system) is written as given.
    it.Rewind();
    r = RunJob(
        "val coords = ctx => x => (\"pointCoord\", [x.lon,x.lat,x.h])\n"
        "read({\"dataSource\":\"pointData\"}) -> deriveFields(_, coords) -> "
        R"(updateDataModel({"fields":[{"name":"pointCoord","Geo":{"type":"Point","coordinates":"3"}}]}, _))"
        " -> " +
            GeoJsonWrite(out, model) + "\n",
        {&it});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadJson(out)["features"][1]["geometry"]["coordinates"],
              Json::parse("[-0.1276,51.5072,11]"));
    xml.reset();
    EXPECT_FALSE(GeoOf(xml, model, "pointCoord").attribute("wkid"));
}

TEST_F(EngineGeo, MissingOrWrongCoordinatesFailNamingTheRecord) {
    MemoryIterator it("pointData", {{"lon", Storage::Real}, {"lat", Storage::Real}},
                      {{"1", "5"}, {"3", ""}, {"2", "2"}});
    const std::string out = dir + "/points.geojson";
    const std::string model = dir + "/points.xml";
    auto job = [&](const std::string& list, const std::string& geo) {
        return "val coords = ctx => x => (\"pointCoord\", " + list +
               ")\nread({\"dataSource\":\"pointData\"}) -> deriveFields(_, coords) -> "
               "updateDataModel({\"fields\":[{\"name\":\"pointCoord\",\"Geo\":" +
               geo + "}]}, _) -> " + GeoJsonWrite(out, model) + "\n";
    };
    struct Case {
        std::string list;
        std::string geo;
        std::string inError;
    };
    const std::vector<Case> cases = {
        {"[x.lon,x.lat]", R"({"type":"Point","coordinates":"2"})",
         "record 2 has a missing coordinate in field 'pointCoord' ([3,null])"},
        {"[x.lon,x.lon,x.lon]", R"({"type":"Point","coordinates":"2"})",
         "record 1 has 3 coordinates, not 2"},
        {"[x.lon,x.lat]", R"({"type":"Polygon","coordinates":"2"})",
         "coordinate lists make points, not Polygon"},
        {"[x.lon,x.lat]", R"({"type":"Point","coordinates":"4"})", "2 or 3 coordinates, not 4"},
        {"x.lon", R"({"type":"Point","coordinates":"2"})", "holds real values"},
        {"[x.lon,x.lat]", R"({"type":"Circle"})", "'Circle' is not a geometry type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list + " " + c.geo);
        it.Rewind();
        const JobResult r = RunJob(job(c.list, c.geo), {&it});
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.inError), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(model));
    }
}

TEST_F(EngineGeo, EnvelopeOfPointsIsLeftUpperThenRightLower) {
    MemoryIterator it("points", {{"x", Storage::Real}, {"y", Storage::Real}},
                      {{"1", "5"}, {"3", "2"}});
    const std::string csv = dir + "/aggpointdata.csv";
    const JobResult r = RunJob(
        "read({\"dataSource\":\"points\"}) -> aggregate({\"output\":["
        "{\"input\":\"x\",\"function\":\"min\",\"outName\":\"leftUpperX\"},"
        "{\"input\":\"y\",\"function\":\"max\",\"outName\":\"leftUpperY\"},"
        "{\"input\":\"x\",\"function\":\"max\",\"outName\":\"rightLowerX\"},"
        "{\"input\":\"y\",\"function\":\"min\",\"outName\":\"rightLowerY\"}]}, _) -> "
        "write({\"dataDestination\":\"" +
            Uri(csv) + "\",\"dataModelDestination\":\"" + Uri(dir + "/aggpointdatamodel.xml") +
            "\",\"type\":\"text/csv\"}, _)\n",
        {&it});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(qetest::ReadFile(csv), "leftUpperX,leftUpperY,rightLowerX,rightLowerY\n1,5,3,2\n");
}

TEST_F(EngineGeo, ShapeKeysSurviveQebfAndIntegerKeysMatchRealDataKeys) {
    const std::string shp = MakeShape(dir, "areas", kPolygons, 4326);
    const std::string qebf = dir + "/shapedata.qebf";
    const std::string qebfModel = dir + "/shapedatamodel.xml";
    JobResult r =
        RunJob(ShapeRead(shp) + " -> write({\"dataDestination\":\"" + Uri(qebf) +
               "\",\"dataModelDestination\":\"" + Uri(qebfModel) + "\",\"type\":\"qebf\"}, _)\n");
    ASSERT_TRUE(r.ok) << r.error;
    // Read back with its model, the QEBF copy is still geometry with its system.
    const std::string out = dir + "/fromqebf.geojson";
    r = RunJob("read({\"filesystem\":{\"dataModel\":\"" + Uri(qebfModel) +
               "\",\"locations\":[{\"path\":\"" + Uri(qebf) +
               "\",\"parser\":{\"name\":\"qebf\",\"config\":{}}}]}}) -> " +
               Reproject(R"({"outSR":{"wkid":3857}})") + " -> " +
               GeoJsonWrite(out, dir + "/fromqebf.xml") + "\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadJson(out)["features"][1]["geometry"]["type"], "Polygon");
    EXPECT_EQ(ReadJson(out)["features"][1]["properties"]["id"], 12);
    // As CSV the geometry is its GeoJSON text, never raw bytes.
    const std::string csv = dir + "/shape.csv";
    r = RunJob(ShapeRead(shp) + " -> write({\"dataDestination\":\"" + Uri(csv) +
               "\",\"dataModelDestination\":\"\",\"type\":\"text/csv\"}, _)\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NE(qetest::ReadFile(csv).find("7,North,\"{\"\"type\"\":\"\"Polygon\"\",\"\"coordinates"),
              std::string::npos)
        << qetest::ReadFile(csv);
    MemoryIterator context("contextData", {{"key", Storage::Real}}, {{"7.0"}, {"99"}, {"7"}});
    auto join = [&](const std::string& type, const std::string& output,
                    const std::string& nonMatching) {
        const std::string csv = dir + "/joindata.csv";
        fs::remove(csv);
        context.Rewind();
        const JobResult j = RunJob(
            "val real = ctx => x => (\"id\", toReal(x.id))\n"
            "val shape = read({\"filesystem\":{\"dataModel\":\"" +
                Uri(qebfModel) + "\",\"locations\":[{\"path\":\"" + Uri(qebf) +
                "\",\"parser\":{\"name\":\"qebf\",\"config\":{}}}]}}) -> reclassifyField(_, real) "
                "-> "
                "aggregate({\"output\":[{\"input\":\"id\",\"function\":\"key\",\"outName\":"
                "\"id\"}]}, _)\n"
                "val data = read({\"dataSource\":\"contextData\"}) -> "
                "aggregate({\"output\":[{\"input\":\"key\",\"function\":\"key\",\"outName\":"
                "\"key\"}]}, _)\n"
                "join({\"matchFields\":[{\"shape\":\"id\",\"dataset\":\"key\"}],"
                "\"outputFields\":" +
                output + ",\"joinType\":\"" + type + "\"" + nonMatching +
                "}, shape=shape, dataset=data) -> write({\"dataDestination\":\"" + Uri(csv) +
                "\",\"dataModelDestination\":\"\",\"type\":\"text/csv\"}, _)\n",
            {&context});
        EXPECT_TRUE(j.ok) << j.error;
        return qetest::ReadFile(csv);
    };
    EXPECT_EQ(join("Inner", R"({"shape":["id"]})", ""), "id\n7\n");
    EXPECT_EQ(join("Anti", R"({"shape":["id"]})", R"(,"nonMatchingSources":["shape"])"),
              "id\n12\n");
    EXPECT_EQ(join("Anti", R"({"dataset":["key"]})", R"(,"nonMatchingSources":["dataset"])"),
              "key\n99\n");
}

namespace {

class EngineGeoService : public EngineGeo {
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
        EngineGeo::SetUp();
        ASSERT_NE(server_->port(), 0) << "the fixture service did not start";
        LocalEngine::instance().setMapServiceTimeout(std::chrono::milliseconds(2000));
    }
    static std::string ServiceRead(const std::string& url, int layer) {
        return "read({\"geospatial\":{\"location\":\"" + url +
               "\",\"type\":\"mps\",\"queryLayer\":" + std::to_string(layer) + "}})";
    }
    static geotest::FixtureServer* server_;
};

geotest::FixtureServer* EngineGeoService::server_ = nullptr;

}  // namespace

TEST_F(EngineGeoService, ServiceLayerReadsLikeAShapeAndFailuresLeaveNothing) {
    const std::string out = dir + "/counties.geojson";
    const std::string model = dir + "/counties.xml";
    JobResult r =
        RunJob(ServiceRead(server_->arcgis(), 1) + " -> " +
               Reproject(R"({"outSR":{"wkid":3857}})") + " -> " + GeoJsonWrite(out, model) + "\n");
    ASSERT_TRUE(r.ok) << r.error;
    const Json doc = ReadJson(out);
    ASSERT_EQ(doc["features"].size(), 2u);
    EXPECT_EQ(doc["features"][0]["properties"]["county_id"], 11);
    EXPECT_EQ(doc["features"][1]["properties"]["county"], "South");
    EXPECT_EQ(doc["features"][0]["geometry"]["type"], "Polygon");
    const auto [x, y] = ProjTransform("EPSG:4326", "EPSG:3857", -122.5, 47.6);
    bool found = false;
    for (const Json& p : doc["features"][0]["geometry"]["coordinates"][0])
        found |=
            std::fabs(p[0].get<double>() - x) < 1e-6 && std::fabs(p[1].get<double>() - y) < 1e-6;
    EXPECT_TRUE(found) << doc["features"][0]["geometry"].dump();
    pugi::xml_document xml;
    EXPECT_EQ(GeoOf(xml, model, "geometry").attribute("wkid").as_int(), 3857);

    for (const std::string& url :
         {std::string("http://127.0.0.1:1/closed"), server_->url("/error/500")}) {
        SCOPED_TRACE(url);
        fs::remove(out);
        r = RunJob(ServiceRead(url, 1) + " -> " + GeoJsonWrite(out, model) + "\n");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("cannot be read"), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(out));
    }
    r = RunJob(ServiceRead(server_->arcgis(), 99) + " -> " + GeoJsonWrite(out, model) + "\n");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("has no layer 99"), std::string::npos) << r.error;
}
