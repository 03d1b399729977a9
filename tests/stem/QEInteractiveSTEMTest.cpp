#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "ShapeFixtures.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
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
        return stem.getMatchedValues(data, model, context, mapKeys, dataKeys, out, fromMap,
                                     maxRows, unmatchedOnly);
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

// Replaces the unique work-file paths of a job text by their plain names, so that whole texts
// compare.
std::string Plain(std::string text, const std::string& dir) {
    text = std::regex_replace(text, std::regex("file:///" + dir + "/?"), "file:///WORK/");
    return std::regex_replace(text, std::regex("(_[0-9]+)(\\.(csv|xml|qebf))"), "$2");
}

class StemTest : public testing::Test {
  protected:
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        dir = qetest::TestDir() + "/" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(dir);
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
    for (const std::string zip :
         {dir + "/areas.zip", dir + "/abs/areas.zip", dir + "/junk/areas.zip",
          dir + "/missing.zip"}) {
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
