#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "ShapeFixtures.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/data/TAVO_Variable.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"
#include "qeinteg/runner/QERunner.h"

using Keys = std::vector<std::vector<std::string>>;
using Strings = std::vector<std::string>;

// Reaches the front-end's private steps.
class QEInteractiveSTEMTestAccess {
  public:
    QEInteractiveSTEM stem;

    std::string ShapePath(const std::string& path) { return stem.getShapeFilePath(path); }
    std::vector<double> Envelope(QERawDataIterator& points, const std::string& x,
                                 const std::string& y) {
        return stem.getGeoEnvelope(points, x, y);
    }
    bool Info(const std::string& name, int wkid, std::string& outName, int& outWkid,
              bool& projected, std::string& wkt) {
        return stem.getCoordinatesInfo(name, wkid, outName, outWkid, projected, wkt);
    }
    bool Matched(const QESimpleFile& data, const QESimpleFile& model, QERawDataIterator& context,
                 const Strings& mapKeys, const Strings& dataKeys, Keys& out, bool fromMap,
                 int maxRows, bool unmatchedOnly) {
        return stem.getMatchedValues(data, model, context, mapKeys, dataKeys, out, fromMap, maxRows,
                                     unmatchedOnly);
    }
    size_t UnpackedArchives() const { return stem.zipFolders ? stem.zipFolders->size() : 0; }
    std::string Message() {
        std::string id, message, detail;
        return stem.hasError(id, message, detail) ? message : "";
    }
};

namespace {

namespace fs = std::filesystem;

const std::vector<stemtest::Column> kColumns = {{"id", true}, {"name", false}};

// Folders and files directly in the host's temporary directory and the analytic work directory.
Strings Leftovers() {
    Strings names;
    for (const std::string& dir : {GetTavoTempPath(), QESimpleFile::GetAnalyticDefaultDir()}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir, error))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string LastJob() {
    const auto calls = qelocal::LocalEngine::instance().calls("prepare");
    return calls.empty() ? "" : calls.back().args.at(0);
}

std::vector<std::string> Jobs() {
    std::vector<std::string> texts;
    for (const auto& call : qelocal::LocalEngine::instance().calls("prepare"))
        texts.push_back(call.args.at(0));
    return texts;
}

// The job text with the test's directory written as DIR, so that whole texts compare.
std::string Plain(std::string text) {
    const std::string dir = qetest::TestDir();
    for (size_t at = text.find(dir); at != std::string::npos; at = text.find(dir, at))
        text.replace(at, dir.size(), "DIR");
    return text;
}

// Two or three numeric columns x, y (and z) of the given rows, as a host dataset.
LocallyUniqueID Points(const std::vector<std::vector<double>>& rows) {
    auto data = std::make_shared<HostDataset>();
    for (const char* name : {"x", "y", "z"})
        data->AddVariable(TAVO_Variable(name, 0));
    data->AddVariable(TAVO_Variable("label", 8));
    for (const auto& values : rows) {
        const long row = data->AddCase();
        for (size_t c = 0; c < values.size(); ++c)
            data->SetNumeric(row, static_cast<int>(c), values[c]);
        data->SetString(row, 3, "p");
    }
    return SvrDMDataset::Register(data);
}

class StemTest : public testing::Test {
  protected:
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        dir = qetest::TestDir();
        // Work files of earlier tests in this process are not this test's leftovers.
        before = Leftovers();
    }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    // A shape file of squares keyed by id (integer) and name (text).
    std::string Areas(const std::string& base, const Strings& ids, int epsg = 4326) {
        Strings wkts;
        std::vector<Strings> rows;
        for (size_t i = 0; i < ids.size(); ++i) {
            wkts.push_back(stemtest::Square(static_cast<double>(i), 0));
            rows.push_back({ids[i], "area " + ids[i]});
        }
        const std::string path = dir + "/" + base + ".shp";
        EXPECT_TRUE(stemtest::WriteShape(path, kColumns, wkts, rows, epsg));
        return path;
    }

    std::string dir;
    Strings before;
    QEInteractiveSTEMTestAccess access;
};

const char* kNoShape = "The selected zip file does not contain a shape file.";
const char* kNoDbf = "A corresponding dbf file was not found";

}  // namespace

TEST_F(StemTest, ShapeFilesAreFoundInArchivesAndNeedTheirDbf) {
    const std::string shp = Areas("areas", {"1", "2"});
    EXPECT_EQ(access.ShapePath(shp), shp);

    // Zipped flat, and zipped as a folder: the shape file lies one level down.
    const std::string flat = dir + "/flat.zip";
    auto entries = stemtest::ShapeEntries(shp, "");
    for (auto& entry : entries)
        entry.first.replace(0, 5, "flat");
    ASSERT_TRUE(stemtest::WriteZip(flat, entries));
    const std::string found = access.ShapePath(flat);
    EXPECT_EQ(found.find('\\'), std::string::npos) << found;
    EXPECT_TRUE(found.starts_with(GetTavoTempPath())) << found;
    EXPECT_TRUE(found.ends_with("/flat.shp")) << found;
    EXPECT_TRUE(fs::is_regular_file(found));

    const std::string folder = dir + "/areas.zip";
    ASSERT_TRUE(stemtest::WriteZip(folder, stemtest::ShapeEntries(shp, "areas/")));
    const std::string below = access.ShapePath(folder);
    EXPECT_TRUE(below.ends_with("/areas/areas.shp")) << below;
    EXPECT_TRUE(fs::is_regular_file(below));
    EXPECT_EQ(access.UnpackedArchives(), 2u);

    // A shape file without its .dbf beside it.
    const std::string roads = dir + "/roads.shp";
    fs::copy_file(shp, roads);
    EXPECT_EQ(access.ShapePath(roads), "");
    EXPECT_EQ(access.Message(), kNoDbf);
    EXPECT_EQ(access.ShapePath(dir + "/absent.shp"), "");
    EXPECT_EQ(access.Message(), kNoDbf);
    // Inside an archive too.
    const std::string noDbf = dir + "/nodbf.zip";
    ASSERT_TRUE(stemtest::WriteZip(noDbf, {{"nodbf.shp", qetest::ReadFile(shp)}}));
    EXPECT_EQ(access.ShapePath(noDbf), "");
    EXPECT_EQ(access.Message(), kNoDbf);
}

TEST_F(StemTest, ArchiveWithoutItsShapeFileIsUnpackedOnce) {
    const std::string other = Areas("other", {"1"});
    const std::string zip = dir + "/areas.ZIP";
    ASSERT_TRUE(stemtest::WriteZip(zip, stemtest::ShapeEntries(other, "")));
    EXPECT_EQ(access.ShapePath(zip), "");
    EXPECT_EQ(access.Message(), kNoShape);
    ASSERT_EQ(access.UnpackedArchives(), 1u);
    const Strings unpacked = Leftovers();
    // The second call finds the folder of the first: nothing is unpacked again.
    fs::remove(zip);
    EXPECT_EQ(access.ShapePath(zip), "");
    EXPECT_EQ(access.Message(), kNoShape);
    EXPECT_EQ(Leftovers(), unpacked);
    EXPECT_EQ(access.UnpackedArchives(), 1u);
}

TEST_F(StemTest, BadArchivesLeaveNothingBehind) {
    const std::string shp = Areas("areas", {"1"});
    auto entries = stemtest::ShapeEntries(shp, "");
    // An entry that climbs out of the unpack folder, one with an absolute name, damaged bytes.
    auto climbing = entries;
    climbing.emplace_back("../../escaped.shp", "x");
    auto absolute = entries;
    absolute.emplace_back(dir + "/absolute.shp", "x");
    ASSERT_TRUE(stemtest::WriteZip(dir + "/areas.zip", climbing));
    fs::create_directories(dir + "/abs");
    fs::create_directories(dir + "/junk");
    ASSERT_TRUE(stemtest::WriteZip(dir + "/abs/areas.zip", absolute));
    ASSERT_TRUE(qetest::WriteFile(dir + "/junk/areas.zip", "PK\3\4 not an archive"));
    for (const std::string zip : {dir + "/areas.zip", dir + "/abs/areas.zip",
                                  dir + "/junk/areas.zip", dir + "/missing.zip"}) {
        EXPECT_EQ(access.ShapePath(zip), "") << zip;
        EXPECT_EQ(access.Message(), kNoShape) << zip;
        EXPECT_EQ(Leftovers(), before) << zip;
    }
    EXPECT_EQ(access.UnpackedArchives(), 0u);
    EXPECT_FALSE(fs::exists(dir + "/absolute.shp"));
    for (const auto& entry : fs::recursive_directory_iterator(qetest::TestDir()))
        EXPECT_NE(entry.path().filename(), "escaped.shp") << entry.path();
}

TEST_F(StemTest, UnpackedFoldersGoWithTheObject) {
    const std::string shp = Areas("areas", {"1"});
    ASSERT_TRUE(stemtest::WriteZip(dir + "/areas.zip", stemtest::ShapeEntries(shp, "")));
    {
        QEInteractiveSTEMTestAccess scoped;
        EXPECT_NE(scoped.ShapePath(dir + "/areas.zip"), "");
        EXPECT_NE(Leftovers(), before);
    }
    EXPECT_EQ(Leftovers(), before);
}

TEST_F(StemTest, GeoJsonJobsAreExactTexts) {
    const std::string shp = Areas("areas", {"1"});
    auto& engine = qelocal::LocalEngine::instance();
    engine.addJobScript("", qelocal::JobScript());
    const std::string model = dir + "/m.xml";
    const std::string geojson = dir + "/g.geojson";
    const std::string read =
        R"(val f1_conf = {"geospatial":{"location":"file:///DIR/areas.shp","type":"shp"}})";
    const std::string reproject =
        R"({"type":"all","reprojectionFields":[{"inSR":{"csName":"WGS 84"},)"
        R"("outSR":{"csName":"WGS 84 / Pseudo-Mercator"}}]})";
    const std::string write =
        R"({"dataDestination":"file:///DIR/g.geojson","dataModelDestination":)"
        R"("file:///DIR/m.xml","type":"text/geojson"})";

    // The source by name, the destination by wkid.
    EXPECT_TRUE(access.stem.getShapeGeoJSON("WGS 84", 0, "", 3857, shp, model, geojson));
    EXPECT_EQ(Plain(LastJob()), read + "\nval f2_conf = " + reproject + "\nval f3_conf = " + write +
                                    "\nread(f1_conf)->reprojection(f2_conf, _)->write(f3_conf, _)");
    // Both by wkid, from a service layer.
    EXPECT_TRUE(access.stem.getServiceGeoJSON(
        "", 4326, "", 3857, "http://127.0.0.1:9/x/FeatureServer", 2, model, geojson));
    EXPECT_EQ(Plain(LastJob()),
              R"(val f1_conf = {"geospatial":{"location":"http://127.0.0.1:9/x/FeatureServer",)"
              R"("type":"mps","queryLayer":2}})"
              "\nval f2_conf = " +
                  reproject + "\nval f3_conf = " + write +
                  "\nread(f1_conf)->reprojection(f2_conf, _)->write(f3_conf, _)");

    // CARTESIAN never looks up a system and never reprojects, whatever the destination says.
    const size_t lookups = engine.calls("coordinatesSystem").size();
    EXPECT_TRUE(access.stem.getShapeGeoJSON(QEInteractiveSTEM::kCartesian, 4326, "WGS 84", 3857,
                                            shp, model, geojson));
    EXPECT_EQ(Plain(LastJob()),
              read + "\nval f2_conf = " + write + "\nread(f1_conf)->write(f2_conf, _)");
    EXPECT_EQ(engine.calls("coordinatesSystem").size(), lookups);
    // A destination that does not resolve: no reprojection either.
    EXPECT_TRUE(access.stem.getShapeGeoJSON("WGS 84", 0, "no such system", 0, shp, model, geojson));
    EXPECT_EQ(Plain(LastJob()),
              read + "\nval f2_conf = " + write + "\nread(f1_conf)->write(f2_conf, _)");

    // The engine's own error, then a reason of this class: never the stale one of a run before.
    engine.reset();
    qelocal::JobScript failing;
    failing.fail("E1", "engine says no", "");
    engine.addJobScript("", failing);
    EXPECT_FALSE(access.stem.getShapeGeoJSON("WGS 84", 0, "", 3857, shp, model, geojson));
    EXPECT_EQ(access.Message(), "engine says no");
    EXPECT_FALSE(
        access.stem.getShapeGeoJSON("WGS 84", 0, "", 3857, dir + "/absent.shp", model, geojson));
    EXPECT_EQ(access.Message(), kNoDbf);
}

TEST_F(StemTest, ValidationJobsAreExactAndFailuresTranslated) {
    const std::string shp = Areas("areas", {"1"});
    auto& engine = qelocal::LocalEngine::instance();
    engine.scriptMetadata("metadata", qelocal::MetadataReply{"<DataModel/>", {}, {}});
    std::string xml = "stale";
    EXPECT_TRUE(access.stem.validateShapeSource(shp, xml));
    EXPECT_EQ(xml, "<DataModel/>");
    const auto calls = engine.calls("metadata");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(
        std::regex_replace(Plain(calls[0].args[0]), std::regex("qecontfile_\\w+"), "qecontfile"),
        R"(val f1_conf = {"geospatial":{"location":"file:///DIR/areas.shp","type":"shp"},)"
        R"("maxRecordsCount":1})"
        "\n"
        R"(val f2_conf = [{"normalizeDataModel":true},{"export":true,"name":"outputDataModel",)"
        R"("uri":"file:///DIR/host-temp/)" +
            fs::path(GetTavoTempPath()).parent_path().filename().string() +
            R"(/qecontfile"}])"
            "\nread(f1_conf)->dataModelBuilder(f2_conf, _)");
    EXPECT_TRUE(access.stem.validateServiceLayer("http://127.0.0.1:9/s", 3, xml));
    EXPECT_NE(
        engine.calls("metadata")
            .back()
            .args[0]
            .find(
                R"({"geospatial":{"location":"http://127.0.0.1:9/s","type":"mps","queryLayer":3},)"
                R"("maxRecordsCount":1})"),
        std::string::npos);

    // An engine that answers nothing: the operation's own message, and no container left.
    engine.scriptMetadata("metadata", qelocal::MetadataReply{});
    EXPECT_FALSE(access.stem.validateShapeSource(shp, xml));
    EXPECT_EQ(xml, "");
    EXPECT_EQ(access.Message(), "Cannot read the selected file.");
    EXPECT_FALSE(access.stem.validateServiceLayer("http://127.0.0.1:9/s", 3, xml));
    EXPECT_EQ(access.Message(), "Shape source is invalid.");
    // A query that throws is an empty answer to the wrapper: the same message.
    engine.scriptMetadata("metadata",
                          qelocal::MetadataReply{"", {}, qelocal::ScriptedFailure{"bad layer"}});
    EXPECT_FALSE(access.stem.validateServiceLayer("http://127.0.0.1:9/s", 3, xml));
    EXPECT_EQ(access.Message(), "Shape source is invalid.");
    EXPECT_EQ(Leftovers(), before);

    std::string layers = "stale";
    EXPECT_FALSE(access.stem.validateMapService("", layers));
    EXPECT_EQ(layers, "");
    engine.scriptMetadata("mapServiceLayers", qelocal::MetadataReply{R"([{"value":0}])", {}, {}});
    EXPECT_TRUE(access.stem.validateMapService("http://127.0.0.1:9/s", layers));
    EXPECT_EQ(layers, R"([{"value":0}])");
}

TEST_F(StemTest, PointJobsAreExactAndTheEnvelopeIsLeftUpperThenRightLower) {
    const LocallyUniqueID id = Points({{1, 5, 7}, {3, 2, 8}});
    {
        QERawDataIterator points(id, Strings{"x", "y"}, {}, false, QERawDataIterator::Ignore, false,
                                 true);
        points.SetName("pointData");
        EXPECT_EQ(access.Envelope(points, "x", "y"), (std::vector<double>{1, 5, 3, 2}));
    }
    auto& engine = qelocal::LocalEngine::instance();
    engine.reset();
    engine.addJobScript("pointCoord", qelocal::JobScript());
    const std::string model = dir + "/m.xml";
    const std::string geojson = dir + "/g.geojson";
    const std::string write =
        R"({"dataDestination":"file:///DIR/g.geojson","dataModelDestination":)"
        R"("file:///DIR/m.xml","type":"text/geojson"})";
    EXPECT_TRUE(
        access.stem.getPointGeoJSON("WGS 84", 0, "", 3857, id, "", {"x", "y"}, model, geojson));
    const Strings jobs = Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0],
              R"(val f1_conf = {"dataSource":"pointData"})"
              "\n"
              R"(val f2_conf = {"output":[{"input":"x","function":"min","outName":"leftUpperX"},)"
              R"({"input":"y","function":"max","outName":"leftUpperY"},)"
              R"({"input":"x","function":"max","outName":"rightLowerX"},)"
              R"({"input":"y","function":"min","outName":"rightLowerY"}]})"
              "\n"
              R"(val f3_conf = {"dataDestination":"file:///aggpointdata.csv",)"
              R"("dataModelDestination":"file:///aggpointdatamodel.xml","type":"text/csv"})"
              "\nread(f1_conf)->aggregate(f2_conf, _)->write(f3_conf, _)");
    EXPECT_EQ(
        Plain(jobs[1]),
        R"(val f1_conf = {"dataSource":"pointData"})"
        "\n"
        R"(val f2_derive = ctx => x => ("pointCoord", [x.x,x.y]))"
        "\n"
        R"(val f3_conf = {"fields":[{"name":"pointCoord","Geo":{"type":"Point","coordinates":"2",)"
        R"("wkid":"4326","csname":"WGS 84","isProjected":false,"wkt":"GEOGCS[\"GCS_WGS_1984\",)"
        R"(DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],)"
        R"(PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]",)"
        R"("GeoEnvelope":{"leftUpperX":1.0,"leftUpperY":5.0,"rightLowerX":3.0,)"
        R"("rightLowerY":2.0}}}]})"
        "\n"
        R"(val f4_conf = {"type":"all","reprojectionFields":[{"inSR":{"csName":"WGS 84"},)"
        R"("outSR":{"csName":"WGS 84 / Pseudo-Mercator"}}]})"
        "\nval f5_conf = " +
            write +
            "\nread(f1_conf)->deriveFields(_, f2_derive)->updateDataModel(f3_conf, _)->"
            "reprojection(f4_conf, _)->write(f5_conf, _)");

    // Three fields on a plane: no system, no envelope in the update, no reprojection.
    const size_t lookups = engine.calls("coordinatesSystem").size();
    EXPECT_TRUE(access.stem.getPointGeoJSON(QEInteractiveSTEM::kCartesian, 4326, "WGS 84", 3857, id,
                                            "", {"x", "y", "z"}, model, geojson));
    EXPECT_EQ(engine.calls("coordinatesSystem").size(), lookups);
    EXPECT_EQ(Plain(LastJob()),
              R"(val f1_conf = {"dataSource":"pointData"})"
              "\n"
              R"(val f2_derive = ctx => x => ("pointCoord", [x.x,x.y,x.z]))"
              "\n"
              R"(val f3_conf = {"fields":[{"name":"pointCoord","Geo":{"type":"Point",)"
              R"("coordinates":"3"}}]})"
              "\nval f4_conf = " +
                  write +
                  "\nread(f1_conf)->deriveFields(_, f2_derive)->updateDataModel(f3_conf, _)->"
                  "write(f4_conf, _)");
    EXPECT_EQ(Leftovers(), before);
}

TEST_F(StemTest, PointInputsThatCannotMakePointsFailWithoutAJob) {
    const LocallyUniqueID id = Points({{1, 5, 7}});
    auto& engine = qelocal::LocalEngine::instance();
    const std::string model = dir + "/m.xml";
    const std::string geojson = dir + "/g.geojson";
    auto fails = [&](const std::string& cs, const Strings& fields, LocallyUniqueID data,
                     const std::string& file) {
        const bool ok =
            access.stem.getPointGeoJSON(cs, 0, "", 3857, data, file, fields, model, geojson);
        EXPECT_EQ(access.Message(), "");
        EXPECT_TRUE(engine.calls("prepare").empty());
        return !ok;
    };
    EXPECT_TRUE(fails("WGS 84", {"x"}, id, ""));
    EXPECT_TRUE(fails("WGS 84", {"x", "y", "z", "x"}, id, ""));
    EXPECT_TRUE(fails("no such system", {"x", "y"}, id, ""));
    EXPECT_TRUE(fails("WGS 84", {"x", "label"}, id, ""));   // text storage
    EXPECT_TRUE(fails("WGS 84", {"x", "absent"}, id, ""));  // not in the data
    // A point file whose coordinates are not all numbers, and one that is not there.
    const std::string csv = dir + "/points.csv";
    ASSERT_TRUE(qetest::WriteFile(csv, "lon,lat\n1,5\nnorth,2\n"));
    EXPECT_TRUE(fails("WGS 84", {"lon", "lat"}, LocallyUniqueID::None(), csv));
    EXPECT_TRUE(fails("WGS 84", {"lon", "lat"}, LocallyUniqueID::None(), dir + "/absent.csv"));
    EXPECT_EQ(Leftovers(), before);
    EXPECT_FALSE(fs::exists(geojson));
}

namespace {

// The map side as the pre-step leaves it: an engine data file and its data model, made by a real
// job from CSV text (whole numbers become integer fields).
struct MapFiles {
    QESimpleFile data{"shapedata.qebf", true, true};
    QESimpleFile model{"shapedatamodel.xml", true, true};

    explicit MapFiles(const std::string& csv) {
        const std::string source = qetest::TestDir() + "/map.csv";
        EXPECT_TRUE(qetest::WriteFile(source, csv));
        QERunner runner(nullptr);
        std::string text;
        {
            JNIQelProgram program;
            QELRead read(&program);
            read.ReadCSV(NormalizeQelPathU(source, "file"), true);
            QELWrite write(&program);
            write.WriteQEBF(NormalizeQelPathU(data.GetFileName(), "file"));
            write.SetDataModel(NormalizeQelPathU(model.GetFileName(), "file"));
            write.AddPredFunction(&read, "");
            EXPECT_TRUE(write.GenerateQEL());
            program.getQelText(text);
        }
        EXPECT_TRUE(runner.prepareQELJob(text) && runner.execute()) << text;
        runner.cleanExecution();
        runner.cleanJRef();
    }
};

// A context dataset with a numeric key "code" and a text key "label".
LocallyUniqueID Context(const std::vector<std::pair<double, std::string>>& rows) {
    auto data = std::make_shared<HostDataset>();
    data->AddVariable(TAVO_Variable("code", 0));
    data->AddVariable(TAVO_Variable("label", 12));
    data->AddVariable(TAVO_Variable("other", 0));
    for (const auto& [code, label] : rows) {
        const long row = data->AddCase();
        data->SetNumeric(row, 0, code);
        data->SetString(row, 1, label);
    }
    return SvrDMDataset::Register(data);
}

std::string Text(const Keys& keys) {
    std::string text;
    for (const auto& combination : keys) {
        text += text.empty() ? "" : " ";
        for (size_t i = 0; i < combination.size(); ++i)
            text += (i == 0 ? "" : "|") + combination[i];
    }
    return text;
}

}  // namespace

TEST_F(StemTest, IntegerMapKeysMatchRealDataKeysAndReadBackAsIntegers) {
    MapFiles map("id,name\n7,a\n8,b\n7,a\n12345678901,c\n");
    QERawDataIterator context(Context({{7.0, "a"}, {9.5, "x"}, {12345678901.0, "c"}}),
                              Strings{"code", "label"}, {}, false, QERawDataIterator::Ignore, false,
                              true);
    context.SetName("contextData");
    Keys out;
    ASSERT_TRUE(
        access.Matched(map.data, map.model, context, {"id"}, {"code"}, out, true, -1, false));
    EXPECT_EQ(Text(out), "7 12345678901");
    EXPECT_EQ(
        Plain(LastJob()),
        R"(val f1_conf = {"filesystem":{"dataModel":"file:///shapedatamodel.xml",)"
        R"("locations":[{"path":"file:///shapedata.qebf","parser":{"name":"qebf","config":{}}}]}})"
        "\n"
        R"(val f2_derive = ctx => x => ("id", toReal(x.id)))"
        "\n"
        R"(val f3_conf = {"output":[{"input":"id","function":"key","outName":"id"}]})"
        "\nval frag_f1 = read(f1_conf)->reclassifyField(_, f2_derive)->aggregate(f3_conf, _)\n"
        R"(val f4_conf = {"dataSource":"contextData"})"
        "\n"
        R"(val f5_conf = {"output":[{"input":"code","function":"key","outName":"code"}]})"
        "\nval frag_f4 = read(f4_conf)->aggregate(f5_conf, _)\n"
        R"(val f6_conf = {"matchFields":[{"shape":"id","dataset":"code"}],)"
        R"("outputFields":{"shape":["id"]},"joinType":"Inner"})"
        "\n"
        R"(val f7_conf = {"dataDestination":"file:///joindata.csv",)"
        R"("dataModelDestination":"file:///joindatamodel.xml","type":"text/csv"})"
        "\njoin(f6_conf, dataset=frag_f4, shape=frag_f1)->write(f7_conf, _)");
    out.clear();
    ASSERT_TRUE(
        access.Matched(map.data, map.model, context, {"id"}, {"code"}, out, true, 10, true));
    EXPECT_EQ(Text(out), "8");
    EXPECT_NE(LastJob().find(R"("outputFields":{"shape":["id"]},"joinType":"Anti",)"
                             R"("nonMatchingSources":["shape"]})"),
              std::string::npos);
    out.clear();
    ASSERT_TRUE(
        access.Matched(map.data, map.model, context, {"id"}, {"code"}, out, false, 10, true));
    EXPECT_EQ(Text(out), "9.5");
    EXPECT_NE(LastJob().find(R"("outputFields":{"dataset":["code"]},"joinType":"Anti",)"
                             R"("nonMatchingSources":["dataset"]})"),
              std::string::npos);
    // Two keys, one of them text.
    out.clear();
    ASSERT_TRUE(access.Matched(map.data, map.model, context, {"id", "name"}, {"code", "label"}, out,
                               false, -1, true));
    EXPECT_EQ(Text(out), "9.5|x");
}

namespace {

// Makes the key matching's pre-step behave as if the engine had read the shape file `match`:
// the job's two destinations receive copies of the prepared map files.
void ScriptPreStep(const MapFiles& files, const std::string& match) {
    qelocal::JobScript script;
    script.call([&files] {
        const std::string job = LastJob();
        std::smatch found;
        ASSERT_TRUE(
            std::regex_search(job, found,
                              std::regex(R"re("dataDestination":"file:///([^"]+)",)re"
                                         R"re("dataModelDestination":"file:///([^"]+)")re")))
            << job;
        const std::string work = QESimpleFile::GetAnalyticDefaultDir();
        fs::copy_file(files.data.GetAbsolutePath(), work + found[1].str());
        fs::copy_file(files.model.GetAbsolutePath(), work + found[2].str());
    });
    qelocal::LocalEngine::instance().addJobScript(match, script);
}

}  // namespace

TEST_F(StemTest, UnmatchedListsStopAfterMaxRowsPlusOne) {
    std::string csv = "id,name\n";
    for (int id = 1; id <= 25; ++id)
        csv += std::to_string(id) + ",n\n";
    csv += "100,n\n101,n\n100,n\n";
    const MapFiles map(csv);
    const std::string shp = Areas("areas", {"1"});
    qelocal::LocalEngine::instance().reset();
    before = Leftovers();
    ScriptPreStep(map, "areas.shp");
    const LocallyUniqueID context = Context({{100, "a"}, {101, "b"}, {101, "b"}, {500, "c"}});

    Keys unmatchedMap{{"stale"}};
    Keys unmatchedData{{"stale"}};
    int matched = -1;
    ASSERT_TRUE(access.stem.matchShapeKeys(shp, {"id"}, unmatchedMap, context, "", {"code"},
                                           unmatchedData, 10, matched));
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(unmatchedMap.size(), 11u);
    EXPECT_EQ(Text(unmatchedData), "500");
    ASSERT_TRUE(access.stem.matchShapeKeys(shp, {"id"}, unmatchedMap, context, "", {"code"},
                                           unmatchedData, -1, matched));
    EXPECT_EQ(unmatchedMap.size(), 25u);
    EXPECT_EQ(unmatchedMap.front(), Strings{"1"});
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(Plain(Jobs().at(4)),
              R"(val f1_conf = {"geospatial":{"location":"file:///DIR/areas.shp","type":"shp"}})"
              "\n"
              R"(val f2_conf = {"dataDestination":"file:///shapedata_1.qebf",)"
              R"("dataModelDestination":"file:///shapedatamodel_1.xml","type":"qebf"})"
              "\nread(f1_conf)->write(f2_conf, _)");
    EXPECT_EQ(Leftovers(), before);
}

TEST_F(StemTest, AllKeysMatchedGivesEmptyLists) {
    const MapFiles map("id,name\n1,a\n2,b\n1,a\n");
    const std::string shp = Areas("areas", {"1"});
    qelocal::LocalEngine::instance().reset();
    before = Leftovers();
    ScriptPreStep(map, "areas.shp");
    // The context data from a case file this time.
    const std::string file = dir + "/context.csv";
    ASSERT_TRUE(qetest::WriteFile(file, "code,label\n2,b\n1,a\n2,b\n"));
    Keys unmatchedMap, unmatchedData;
    int matched = -1;
    ASSERT_TRUE(access.stem.matchShapeKeys(shp, {"id", "name"}, unmatchedMap,
                                           LocallyUniqueID::None(), file, {"code", "label"},
                                           unmatchedData, 10, matched));
    EXPECT_EQ(matched, 2);
    EXPECT_TRUE(unmatchedMap.empty());
    EXPECT_TRUE(unmatchedData.empty());
    EXPECT_EQ(Leftovers(), before);
}

TEST_F(StemTest, BadKeyInputFailsAndLeavesNothing) {
    const MapFiles map("id,name\n1,a\n");
    const std::string shp = Areas("areas", {"1"});
    qelocal::LocalEngine::instance().reset();
    before = Leftovers();
    ScriptPreStep(map, "areas.shp");
    const LocallyUniqueID context = Context({{1, "a"}});
    Keys unmatchedMap, unmatchedData;
    int matched = -1;
    auto match = [&](const std::string& path, const Strings& mapKeys, const Strings& dataKeys) {
        return access.stem.matchShapeKeys(path, mapKeys, unmatchedMap, context, "", dataKeys,
                                          unmatchedData, 10, matched);
    };
    EXPECT_FALSE(match(shp, {"id", "name"}, {"code"}));
    EXPECT_FALSE(match(shp, {}, {}));
    EXPECT_FALSE(match(shp, {"id"}, {"absent"}));
    EXPECT_TRUE(qelocal::LocalEngine::instance().calls("prepare").empty());
    EXPECT_FALSE(match(shp, {"absent"}, {"code"}));
    EXPECT_EQ(matched, 0);
    // A shape file that is not there fails before the context data is opened.
    EXPECT_FALSE(access.stem.matchShapeKeys(dir + "/none.shp", {"id"}, unmatchedMap,
                                            LocallyUniqueID::None(), dir + "/no-such.csv", {"code"},
                                            unmatchedData, 10, matched));
    EXPECT_EQ(access.Message(), kNoDbf);
    EXPECT_EQ(Leftovers(), before);
}

TEST_F(StemTest, TracesNameTheOperationAndHoldTheResults) {
    const std::string root = dir + "/trace";
    qetest::ScopedEnv traceDir("QE_STAT_DEBUG_DIR", root.c_str());
    qetest::ScopedEnv maxCount("QE_STAT_DEBUG_MAXCOUNT", "0");
    QEStatTracer::resetForTest();
    const std::string shp = Areas("areas", {"1"});
    // The job "writes" both files as the engine would.
    qelocal::JobScript script;
    script.call([this] {
        qetest::WriteFile(dir + "/m.xml", "<DataModel/>");
        qetest::WriteFile(dir + "/g.geojson", R"({"type":"FeatureCollection","features":[]})");
    });
    qelocal::LocalEngine::instance().addJobScript("", script);
    EXPECT_TRUE(access.stem.getShapeGeoJSON(QEInteractiveSTEM::kCartesian, 0, "", 0, shp,
                                            dir + "/m.xml", dir + "/g.geojson"));
    Strings files;
    for (const auto& entry : fs::directory_iterator(root))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    QEStatTracer::resetForTest();
    EXPECT_EQ(files,
              (Strings{"DataModelFile_getShapeGeoJSON.xml", "GeoJSONFile_getShapeGeoJSON.json",
                       "QelJobText_getShapeGeoJSON.qel", "qeinteg.log"}));
    EXPECT_EQ(qetest::ReadFile(root + "/GeoJSONFile_getShapeGeoJSON.json"),
              R"({"type":"FeatureCollection","features":[]})");
}
