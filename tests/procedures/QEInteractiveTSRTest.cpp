#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <minizip/zip.h>

#include "common/TestSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/engine/io/QebfFile.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/testing/AppSettingsTesting.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/procedures/QEInteractiveTSR.h"

#include "TsrTestAccess.h"

namespace {

using tsrtest::IowaDataset;
using tsrtest::WriteArchive;
using Strings = std::vector<std::string>;
using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

std::string PreparedJob() {
    const auto calls = qelocal::LocalEngine::instance().calls("prepare");
    return calls.empty() ? "" : calls.back().args.at(0);
}

class TsrTest : public testing::Test {
  protected:
    void SetUp() override { qelocal::LocalEngine::instance().reset(); }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    std::string Archive(const std::string& tsdpOutput) {
        const std::string path =
            qetest::TestDir() + "/model" + std::to_string(++archives_) + ".zip";
        WriteArchive(path, {"TSDPOutput.json", tsdpOutput});
        return path;
    }

    std::shared_ptr<HostDataset> data = IowaDataset();
    QEInteractiveTSRTestAccess access;
    int archives_ = 0;
};

const char* kSettings =
    R"({"dimFieldList":["source"],"metricFieldList":["net_generation"],"dateTimeField":"year",)"
    R"("cyclicFieldList":[],"timeInterval":{"unit":"years","step":1},)"
    R"("timeVariable":["2001-01-01","2002-01-01","2003-01-01"]})";

}  // namespace

TEST_F(TsrTest, JobPiecesAreExactTexts) {
    qehost::testing::SetLocale("de_CH");
    // The field is named twice: quoted as the first of the pair and read from the record.
    EXPECT_EQ(access.Lambda("my date"),
              "val toTS = ctx => x => (\"my date\", toTimestamp(x.my date, \"yyyy-MM-dd "
              "HH:mm:ss\", \"yyyy-MM-dd\", \"HH:mm:ss\", \"de_CH\", date(1970,1,1)))");
    EXPECT_EQ(access.Reader("/tmp/d.qebf", "/tmp/m.xml"),
              "val readerConf = {\"filesystem\":{\"dataModel\":\"file:////tmp/m.xml\","
              "\"locations\":[{\"path\":\"file:////tmp/d.qebf\",\"parser\":{\"name\":\"qebf\","
              "\"config\":{}}}]}}\n");
    EXPECT_EQ(access.Container("JSON", "file:////a", true),
              "{\"export\":true,\"name\":\"JSON\",\"uri\":\"file:////a\"}");
    EXPECT_EQ(access.Container("JSON", "file:////a", false),
              "{\"name\":\"JSON\",\"uri\":\"file:////a\"}");
    EXPECT_EQ(access.Path("C:\\tmp\\x.zip"), "file:///C:/tmp/x.zip");
    EXPECT_EQ(access.NoBackslash("{\"a\":\"b\\/c\\\\\"}"), "{\"a\":\"b/c\"}");
    JNIJSONArray list;
    access.AddLongList(list, {1, -2, 9000000000LL});
    EXPECT_EQ(list.serialize(), "[1,-2,9000000000]");
}

TEST_F(TsrTest, DimensionListsMustMatchTheCallersExactly) {
    std::set<int> fields;
    std::string settings, time;
    auto check = [&](const std::string& dims, const Strings& caller) {
        fields.clear();
        const std::string text =
            R"({"settings":{"dimFieldList":)" + dims +
            R"(,"metricFieldList":["net_generation"],"dateTimeField":"year"},"output":{}})";
        return access.Settings(Archive(text), data.get(), caller, fields, settings, time);
    };
    EXPECT_TRUE(check(R"([""])", {}));  // one empty name: no dimensions
    EXPECT_EQ(fields, (std::set<int>{0, 2}));
    EXPECT_EQ(time, "year");
    EXPECT_FALSE(check(R"([""])", {"source"}));
    EXPECT_FALSE(check("[]", {"source"}));
    EXPECT_TRUE(check(R"(["source"])", {"source"}));
    EXPECT_EQ(fields, (std::set<int>{0, 1, 2}));
    EXPECT_FALSE(check(R"(["source"])", {"SOURCE"}));  // compared exactly
    EXPECT_FALSE(check(R"(["absent"])", {"absent"}));
    EXPECT_EQ(
        settings,
        R"({"dimFieldList":["absent"],"metricFieldList":["net_generation"],"dateTimeField":"year"})");
}

TEST_F(TsrTest, CaseCountNeedsNoFieldAndAnEmptyCyclicListIsRejected) {
    std::set<int> fields;
    std::string settings, time;
    auto check = [&](const std::string& body) {
        fields.clear();
        return access.Settings(Archive(R"({"settings":{"dimFieldList":[],"metricFieldList":)"
                                       R"(["net_generation"],"dateTimeField":"",)" +
                                       body + "}}"),
                               data.get(), {}, fields, settings, time);
    };
    EXPECT_TRUE(check(R"("cyclicFieldList":["$casecount"])"));
    EXPECT_EQ(fields, (std::set<int>{2}));
    EXPECT_FALSE(check(R"("cyclicFieldList":[])"));
    EXPECT_FALSE(check(R"("cyclicFieldList":["absent"])"));
    EXPECT_TRUE(check(R"("cyclicFieldList":["year"])"));
    EXPECT_EQ(fields, (std::set<int>{0, 2}));
    // A metric absent from the dataset, no entry, and text that does not parse.
    EXPECT_FALSE(access.Settings(Archive(R"({"settings":{"dimFieldList":[],"metricFieldList":)"
                                         R"(["x"],"dateTimeField":"year"}})"),
                                 data.get(), {}, fields, settings, time));
    const std::string noEntry = qetest::TestDir() + "/empty.zip";
    WriteArchive(noEntry, {"StatXML.xml", "<StatXML/>"});
    EXPECT_FALSE(access.Settings(noEntry, data.get(), {}, fields, settings, time));
    EXPECT_FALSE(
        access.Settings(Archive("{\"settings\":"), data.get(), {}, fields, settings, time));
}

TEST_F(TsrTest, TimePointsComeFromTheTimeVariable) {
    std::set<int> fields;
    std::string settings;
    int points = -1;
    EXPECT_TRUE(access.Points(Archive(std::string("{\"settings\":") + kSettings + "}"), data.get(),
                              {"source"}, fields, settings, points));
    EXPECT_EQ(points, 3);
    auto cyclic = [&](const std::string& variable) {
        points = -1;
        return access.Points(Archive(R"({"settings":{"dimFieldList":[""],"metricFieldList":)"
                                     R"(["net_generation"],"dateTimeField":"",)"
                                     R"("cyclicFieldList":["year","source"],"timeVariable":)" +
                                     variable + "}}"),
                             data.get(), {}, fields, settings, points);
    };
    EXPECT_TRUE(cyclic(R"({"year":[1,2],"source":[1,2,3,4]})"));  // the last cyclic field
    EXPECT_EQ(points, 4);
    EXPECT_TRUE(cyclic(R"({"year":[1,2]})"));  // else the first
    EXPECT_EQ(points, 2);
    EXPECT_FALSE(cyclic(R"({"other":[1]})"));
    EXPECT_FALSE(cyclic(R"([1,2])"));
}

TEST_F(TsrTest, TheSummaryIsCutBeforeTheClosingTagOfTheDocument) {
    const std::string model =
        "<DataModel><field name=\"source\" measure=\"nominal\" storage=\"string\" "
        "role=\"input\"/></DataModel>";
    const std::string path = qetest::TestDir() + "/stat.zip";
    WriteArchive(path, {"StatXML.xml", "<?xml version=\"1.0\"?><StatXML>" + model + "</StatXML>"});
    CFMetaData metaData;
    ASSERT_TRUE(access.GetMetaData(path, metaData));
    ASSERT_EQ(metaData.FieldCount(), 1);
    // An unclosed data model is closed.
    const std::string open = qetest::TestDir() + "/open.zip";
    WriteArchive(open, {"StatXML.xml",
                        "<StatXML><DataModel><field name=\"a\" measure=\"continuous\" "
                        "storage=\"real\" role=\"input\"/>"});
    ASSERT_TRUE(access.GetMetaData(open, metaData));
    EXPECT_EQ(metaData.FieldCount(), 1);
    // A summary without a data model is a failure, not a cut from nowhere.
    const std::string noModel = qetest::TestDir() + "/nomodel.zip";
    WriteArchive(noModel, {"StatXML.xml", "<StatXML><DatasetSummaries/></StatXML>"});
    EXPECT_FALSE(access.GetMetaData(noModel, metaData));
    EXPECT_EQ(metaData.FieldCount(), 1);  // the caller's metadata is left as it was
    const std::string none = qetest::TestDir() + "/none.zip";
    WriteArchive(none, {"TSDPOutput.json", "{}"});
    EXPECT_FALSE(access.GetMetaData(none, metaData));
}

// The preparation job runs on the local engine: prepared series against totals computed here.
TEST_F(TsrTest, RunTsdpOnTheIteratorPreparesYearlyTotalsPerSource) {
    QERawDataIterator iterator(*data, std::vector<int>{}, Levels{}, false,
                               QERawDataIterator::Ignore, false);
    iterator.SetName("_activeDataset_");
    QESimpleContainer out("JSON", ""), prepared("data", ""), model("datamodel", "");
    ASSERT_TRUE(access.RunTSDP(iterator, kSettings, out, prepared, model));
    const std::string job = PreparedJob();
    EXPECT_EQ(job,
              "val readerConf = {\"dataSource\":\"_activeDataset_\",\"readErrorThreshold\":-1}\n"
              "val tsdpOutConf = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"" +
                  access.Path(out.getAbsolutePath()) + "\"}]\n" + "val tsdpConf = " + kSettings +
                  "\n" + "val writerConf = {\"dataDestination\":\"" +
                  access.Path(prepared.getAbsolutePath()) + "\",\"dataModelDestination\":\"" +
                  access.Path(model.getAbsolutePath()) + "\",\"type\":\"qebf\"}\n" +
                  "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)");

    std::map<std::pair<std::string, double>, double> expected;
    for (long row = 0; row < data->CaseCount(); ++row) {
        std::string source(data->GetString(row, 1));
        while (!source.empty() && source.back() == ' ')
            source.pop_back();
        expected[{source, data->GetNumeric(row, 0)}] += data->GetNumeric(row, 2);
    }
    qelocal::QebfRowSource rows(prepared.getAbsolutePath());
    ASSERT_EQ(rows.fields().size(), 3u);
    size_t count = 0;
    while (rows.next()) {
        ++count;
        const std::string source(rows.cell(0).text);
        // Engine dates count days from 1970; the host's from its own base: compare by order.
        EXPECT_GT(rows.cell(2).number, 0.0);
        bool found = false;
        for (const auto& [key, total] : expected)
            found = found || (key.first == source && total == rows.cell(2).number);
        EXPECT_TRUE(found) << source << " " << rows.cell(2).number;
    }
    EXPECT_EQ(count, expected.size());
}

// A text date has to be converted first: the local engine runs the conversion; a job that fails
// through the listener makes the preparation report false.
TEST_F(TsrTest, TimeConversionJobIsExactAndItsFailureIsReported) {
    qehost::testing::SetLocale("en_US");
    QERawDataIterator iterator(*data, std::vector<int>{}, Levels{}, false,
                               QERawDataIterator::Ignore, false);
    iterator.SetName("it");
    QESimpleContainer converted("convertdata", ""), model("convertdatamodel", "");
    const bool ok = access.Convert("year", iterator, converted, model);
    const std::string writer = "val writerConf = {\"dataDestination\":\"" +
                               access.Path(converted.getAbsolutePath()) +
                               "\",\"dataModelDestination\":\"" +
                               access.Path(model.getAbsolutePath()) + "\",\"type\":\"qebf\"}\n";
    EXPECT_EQ(PreparedJob(),
              "val readerConf = {\"dataSource\":\"it\",\"readErrorThreshold\":-1}\n" +
                  access.Lambda("year") + "\n" + writer +
                  "read(readerConf)->reclassifyField(_,toTS)->write(writerConf)");
    EXPECT_TRUE(ok);
    qelocal::LocalEngine::instance().setNextJobScript(
        qelocal::JobScript().fail("AEQ0001E", "conversion failed", ""));
    EXPECT_FALSE(access.Convert("year", iterator, converted, model));

    QESimpleContainer inData("inputdata", ""), inModel("inputdatamodel", "");
    access.Convert("year", inData, inModel, converted, model);
    EXPECT_EQ(PreparedJob(), access.Reader(inData.getAbsolutePath(), inModel.getAbsolutePath()) +
                                 access.Lambda("year") + "\n" + writer +
                                 "read(readerConf)->reclassifyField(_,toTS)->write(writerConf)");
}

// The dataset is written with its data model; the file preparation then reads those files.
TEST_F(TsrTest, UpdateDataModelThenRunTsdpOnTheFiles) {
    QERawDataIterator iterator(*data, std::vector<int>{}, Levels{}, false,
                               QERawDataIterator::Ignore, false);
    iterator.SetName("_activeDataset_");
    QESimpleContainer inData("inputdata", ""), inModel("inputdatamodel", "");
    ASSERT_TRUE(
        access.UpdateDataModel({"year", "source", "net_generation"}, iterator, inData, inModel));
    EXPECT_EQ(PreparedJob(),
              "val readerConf = {\"dataSource\":\"_activeDataset_\",\"readErrorThreshold\":-1}\n"
              "val writerConf = {\"dataDestination\":\"" +
                  access.Path(inData.getAbsolutePath()) + "\",\"dataModelDestination\":\"" +
                  access.Path(inModel.getAbsolutePath()) + "\",\"type\":\"qebf\"}\n" +
                  "read(readerConf)->write(writerConf)");
    // The data model file is the host's export of the descriptives run's data model.
    const std::string modelText = qetest::ReadFile(inModel.getAbsolutePath());
    CFMetaData reread(modelText);
    ASSERT_EQ(reread.FieldCount(), 3);
    std::string exported;
    reread.ExportXMLDoc(exported);
    EXPECT_EQ(exported, modelText);

    QESimpleContainer out("JSON", ""), prepared("data", ""), model("datamodel", "");
    ASSERT_TRUE(access.RunTSDP(inData, inModel, kSettings, out, prepared, model));
    const std::string job = PreparedJob();
    EXPECT_EQ(job.rfind(access.Reader(inData.getAbsolutePath(), inModel.getAbsolutePath()), 0), 0u);
    EXPECT_EQ(job.substr(job.rfind('\n') + 1),
              "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)");
    qelocal::QebfRowSource rows(prepared.getAbsolutePath());
    size_t count = 0;
    while (rows.next())
        ++count;
    EXPECT_EQ(count, 51u);  // three sources, seventeen years
    // Settings that do not parse run no job.
    const size_t jobs = qelocal::LocalEngine::instance().calls("prepare").size();
    EXPECT_FALSE(access.RunTSDP(inData, inModel, "{not json", out, prepared, model));
    EXPECT_EQ(qelocal::LocalEngine::instance().calls("prepare").size(), jobs);
}
