#include <gtest/gtest.h>

#include <filesystem>

#include "TsrTestAccess.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/testing/AppSettingsTesting.h"

namespace {

using Strings = std::vector<std::string>;
using Numbers = std::vector<double>;

// The summary of a model over the yearly electricity data, with a numeric dimension "region".
const char* kSummary =
    "<?xml version=\"1.0\"?>\n<StatXML version=\"1\">\n<DataModel>"
    "<field name=\"source\" measure=\"nominal\" storage=\"string\" role=\"input\"><values>"
    "<value kind=\"string\" value=\"Fossil Fuels\"/><value kind=\"string\" value=\"Nuclear "
    "Energy\"/><value kind=\"string\" value=\"Renewables\"/></values></field>"
    "<field name=\"region\" measure=\"nominal\" storage=\"integer\" role=\"input\"><values>"
    "<value kind=\"integer\" value=\"7\"/><value kind=\"integer\" value=\"12\"/></values></field>"
    "<field name=\"year\" measure=\"continuous\" storage=\"date\" role=\"input\"/>"
    "<field name=\"metricField\" measure=\"nominal\" storage=\"string\" role=\"none\"><values>"
    "<value kind=\"string\" value=\"net_generation\"/><value kind=\"string\" value=\"price\"/>"
    "</values></field></DataModel>\n<DataModel><field name=\"later\"/></DataModel></StatXML>";

// Series "0-0" (fossil fuels) is a target with "1-0" (nuclear energy) as its input; "1-0" is an
// input only.
const char* kGraph =
    R"({"version":1,"lags":2,"series":[{"id":"0-0","metric":"net_generation"},)"
    R"({"id":"1-0","metric":"net_generation"}],"targets":[{"series":"0-0",)"
    R"("predictorIndexSet":[0,1],"predictors":[{"series":"0-0","lags":[1,2],"weights":[0.5,0]},)"
    R"({"series":"1-0","lags":[1,2],"weights":[0,1]}]}]})";

const char* kTsdpOutput =
    R"({"settings":{"dimFieldList":["source"],"metricFieldList":["net_generation"],)"
    R"("dateTimeField":"year","cyclicFieldList":[],"timeInterval":{"unit":"years","step":1},)"
    R"("timeVariable":["2015-01-01","2016-01-01","2017-01-01"]},"output":{}})";

// Scored output as a row source: fields metric, "<metric>_predicted" and "$FutureFlag"; record
// n (from 1) holds n, 1000 + n, and the flag 1 after `observedRecords`.
class ScoredRows final : public EmbeddedQE::RowDataIterator {
  public:
    ScoredRows(int records, int observedRecords, bool withFlag = true)
        : records_(records), observed_(observedRecords), withFlag_(withFlag) {}
    std::string getName() override { return "scored"; }
    std::string getDataModel() override {
        std::string xml =
            "<dataModel version=\"1\">"
            "<field name=\"y\" measure=\"continuous\" storage=\"real\" "
            "role=\"input\"/><field name=\"y_predicted\" measure=\"continuous\" "
            "storage=\"real\" role=\"input\"/>";
        if (withFlag_)
            xml +=
                "<field name=\"$FutureFlag\" measure=\"flag\" storage=\"integer\" "
                "role=\"input\"/>";
        return xml + "</dataModel>";
    }
    uint32_t nextRecord() override { return ++current_ <= records_ ? 0 : 1; }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        if (index > 2)
            return 2;
        value_ = index == 0 ? current_ : index == 1 ? 1000 + current_ : current_ > observed_;
        *data = &value_;
        *length = sizeof value_;
        return 0;
    }
    void dispose(JNIEnv*) override {}

  private:
    int records_;
    int observed_;
    bool withFlag_;
    int current_ = 0;
    double value_ = 0;
};

size_t ContainerFiles() {
    size_t count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(GetTavoTempPath(), ec)) {
        if (entry.path().filename().string().rfind("qecontfile_", 0) == 0)
            ++count;
    }
    return count;
}

class TsrModelTest : public testing::Test {
  protected:
    void SetUp() override { qelocal::LocalEngine::instance().reset(); }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    std::string Archive(const Strings& entries) {
        const std::string path = qetest::TestDir() + "/m" + std::to_string(++archives_) + ".zip";
        tsrtest::WriteArchive(path, entries);
        return path;
    }

    QEInteractiveTSRTestAccess access;
    int archives_ = 0;
};

}  // namespace

TEST_F(TsrModelTest, ScoreSettingsDependOnTcmAndSpan) {
    EXPECT_EQ(access.ScoreSettings({"0-1"}, 12, true),
              R"({"fieldSetting":{"fieldType":"INCLUDED_TARGET_LIST","fieldNameList":)"
              R"({"seriesIDList":[["0-1"]]}},"forecast":{"doForecast":true,"forecastSpan":12},)"
              R"("fit":{"doFit":true}})");
    EXPECT_EQ(access.ScoreSettings({"0-1"}, 12, false),
              R"({"fieldSetting":{"fieldNameList":{"seriesIDList":[["0-1"]]}},)"
              R"("forecast":{"forecastSpan":12}})");
    // No span, no forecast member; the fit stays with the target's settings.
    EXPECT_EQ(access.ScoreSettings({"3", "4"}, 0, true),
              R"({"fieldSetting":{"fieldType":"INCLUDED_TARGET_LIST","fieldNameList":)"
              R"({"seriesIDList":[["3","4"]]}},"fit":{"doFit":true}})");
    EXPECT_EQ(access.ScoreSettings({"3"}, -2, false),
              R"({"fieldSetting":{"fieldNameList":{"seriesIDList":[["3"]]}}})");
}

TEST_F(TsrModelTest, ImpactDiagramAndCapabilityJobsAreExactTexts) {
    qehost::testing::SetLocale("fr_FR");
    QESimpleContainer stat("tcmStatJson", ""), model("datamodel", ""), data("data", ""),
        json("JSON", "");
    const std::string archive = "/models/my model.zip";
    const std::string settings =
        R"({"artifacts":[{"name":"interpretation.ImpactDiagramEffects","target":[["x","y"]],)"
        R"("level":3},{"name":"interpretation.ImpactDiagramCauses","target":[["x","y"]],)"
        R"("level":3}],"locale":"fr_FR","timeFormat":"hh:mm:ss","isEncoded":false})";
    // The reserved flag changes nothing.
    EXPECT_EQ(access.OutputSetting({"x", "y"}, true, 3), settings);
    EXPECT_EQ(access.OutputSetting({"x", "y"}, false, 3), settings);

    const std::string tail =
        "val outputConf = " + settings + "\n" +
        "val inputCons = [{\"name\":\"TCM\",\"uri\":\"file:////models/my model.zip\"}]\n" +
        "val outputCons = [{\"export\":true,\"name\":\"tcmStatJson\",\"uri\":\"" +
        access.Path(stat.getAbsolutePath()) + "\"}]\n";
    EXPECT_EQ(access.Impact(archive, {"x", "y"}, 3, stat), tail);
    const std::string rtsdp =
        "val rtsdpConf = {\"exportFutureFlag\":true}\n"
        "val rtsdpInConf = [{\"name\":\"JSON\",\"uri\":\"" +
        access.Path(json.getAbsolutePath()) + "\"}]\n";
    EXPECT_EQ(access.Rtsdp(json.getAbsolutePath()), rtsdp);
    EXPECT_EQ(access.Impact(model, data, json, archive, {"x", "y"}, 3, stat),
              access.Reader(data.getAbsolutePath(), model.getAbsolutePath()) + rtsdp + tail +
                  "read(readerConf)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)"
                  "->OutputComponent:TCMOutputComponent(outputConf, inputCons, outputCons)");

    QESimpleContainer out("ModelCapabilities", "");
    EXPECT_EQ(access.Scoring(archive, out),
              "val scoringConf = {\"isModelCapabilities\":true}\n"
              "val inCon = [{\"name\":\"InputPMML\",\"uri\":\"file:////models/my model.zip\"}]\n"
              "val outCon = [{\"export\":true,\"name\":\"ModelCapabilities\",\"uri\":\"" +
                  access.Path(out.getAbsolutePath()) +
                  "\"}]\nscoring:scoring(scoringConf, inCon, outCon)");
}

TEST_F(TsrModelTest, SeriesIdentifiersFromTextAndNumericDimensions) {
    std::string id = "unchanged";
    EXPECT_TRUE(access.Encode(kSummary, {"source", "region"}, {"Renewables", "12"}, "price", id));
    EXPECT_EQ(id, "2-1-1");
    // Numbers compare as numbers, whatever their text.
    EXPECT_TRUE(access.Encode(kSummary, {"region", "source"}, {"7.0", "Fossil Fuels"},
                              "net_generation", id));
    EXPECT_EQ(id, "0-0-0");
    EXPECT_TRUE(access.Encode(kSummary, {}, {}, "price", id));
    EXPECT_EQ(id, "1");
    // Texts compare exactly; a value, a field or a metric the model does not list fails.
    id = "unchanged";
    EXPECT_FALSE(access.Encode(kSummary, {"source"}, {"renewables"}, "price", id));
    EXPECT_NE(access.Error().find("'renewables' is not a value"), std::string::npos);
    EXPECT_FALSE(access.Encode(kSummary, {"region"}, {"12x"}, "price", id));
    EXPECT_FALSE(access.Encode(kSummary, {"absent"}, {"1"}, "price", id));
    EXPECT_FALSE(access.Encode(kSummary, {"source"}, {"Renewables"}, "cost", id));
    EXPECT_FALSE(access.Encode(kSummary, {"source"}, {}, "price", id));
    EXPECT_FALSE(access.Encode("<DataModel>", {}, {}, "price", id));
    EXPECT_EQ(id, "unchanged");
    EXPECT_EQ(access.IdText({}), "");
    EXPECT_EQ(access.IdText({10, 0, 3}), "10-0-3");

    // The graph asks about the series the identifier names; the summary's second data model is
    // not read.
    const std::string archive =
        Archive({"StatXML.xml", kSummary, "TCMGraph.json", kGraph, "TSDPOutput.json", kTsdpOutput});
    bool isTarget = false;
    ASSERT_TRUE(access.IsTarget(archive, "net_generation", {"source", "region"},
                                {"Fossil Fuels", "7"}, isTarget));
    EXPECT_FALSE(isTarget);  // "0-0-0" is not in the graph
    ASSERT_TRUE(access.IsTarget(archive, "net_generation", {"source"}, {"Fossil Fuels"}, isTarget));
    EXPECT_TRUE(isTarget);
    ASSERT_TRUE(
        access.IsTarget(archive, "net_generation", {"source"}, {"Nuclear Energy"}, isTarget));
    EXPECT_FALSE(isTarget);
    EXPECT_FALSE(access.IsTarget(Archive({"StatXML.xml", kSummary}), "net_generation", {"source"},
                                 {"Nuclear Energy"}, isTarget));
}

// The capabilities' data model ends at the first "</DataModel>" of the summary, that tag included.
TEST_F(TsrModelTest, SummaryDataModelIsCutAtTheFirstClosingTag) {
    std::string model;
    ASSERT_TRUE(
        access.SummaryModel(Archive({"StatXML.xml",
                                     "<StatXML><A/><DataModel><field name=\"a\"/></DataModel><B/>"
                                     "<DataModel><field name=\"b\"/></DataModel></StatXML>"}),
                            model));
    EXPECT_EQ(model, "<DataModel><field name=\"a\"/></DataModel>");
    ASSERT_TRUE(access.SummaryModel(
        Archive({"StatXML.xml", "<StatXML><DataModel><field name=\"a\"/>"}), model));
    EXPECT_EQ(model, "<DataModel><field name=\"a\"/></DataModel>");
    model = "kept";
    EXPECT_FALSE(access.SummaryModel(Archive({"StatXML.xml", "<StatXML/>"}), model));
    EXPECT_FALSE(access.SummaryModel(Archive({"TCMGraph.json", kGraph}), model));
    EXPECT_EQ(model, "kept");
}

// With T = 100 time points, start "1" and end "12" ask for 12 forecasts and read records 101 to
// 112; earlier records give observed values, and too few records is a failure, not an empty
// scenario.
TEST_F(TsrModelTest, ScenarioReadsTheRecordsAfterTheModelsTimePoints) {
    int span = 0, first = 0, last = 0;
    access.Range("1", "12", 100, span, first, last);
    EXPECT_EQ(span, 12);
    EXPECT_EQ(first, 101);
    EXPECT_EQ(last, 113);
    Numbers observed, predicted;
    ScoredRows rows(115, 100);
    ASSERT_TRUE(access.ReadScored(rows, "y", first, last, observed, predicted));
    EXPECT_TRUE(observed.empty());
    ASSERT_EQ(predicted.size(), 12u);
    EXPECT_EQ(predicted.front(), 1101);
    EXPECT_EQ(predicted.back(), 1112);

    // Two periods back and no forecast: observed values only.
    access.Range("-2", "0", 100, span, first, last);
    EXPECT_EQ(span, 0);
    observed.clear();
    predicted.clear();
    ScoredRows history(100, 100);
    ASSERT_TRUE(access.ReadScored(history, "y", first, last, observed, predicted));
    EXPECT_EQ(observed, (Numbers{98, 99, 100}));
    EXPECT_TRUE(predicted.empty());

    // Fewer scored records than the first one asked for.
    ScoredRows shortRows(50, 50);
    observed.clear();
    EXPECT_FALSE(access.ReadScored(shortRows, "y", 101, 113, observed, predicted));
    EXPECT_TRUE(observed.empty());
    EXPECT_NE(access.Error().find("50 records"), std::string::npos) << access.Error();
    ScoredRows noFlag(115, 100, false);
    EXPECT_FALSE(access.ReadScored(noFlag, "y", 101, 113, observed, predicted));
    ScoredRows rowsAgain(115, 100);
    EXPECT_FALSE(access.ReadScored(rowsAgain, "absent", 101, 113, observed, predicted));
}

// The scenario of a series that is not a target is scored with "tcm:ar"; the preparation runs on
// the local engine first. The job is scripted to succeed without output: no records is a failure.
TEST_F(TsrModelTest, ScenarioOfANonTargetRunsTheAutoregressiveJob) {
    const std::string archive =
        Archive({"StatXML.xml", kSummary, "TCMGraph.json", kGraph, "TSDPOutput.json", kTsdpOutput});
    const LocallyUniqueID dataset = SvrDMDataset::Register(tsrtest::IowaDataset());
    qelocal::LocalEngine::instance().addJobScript("tcm:", qelocal::JobScript().succeed());
    Numbers observed, predicted;
    const std::string root = qetest::TestDir() + "/trace";
    std::string traced;
    {
        qetest::ScopedEnv dir("QE_STAT_DEBUG_DIR", root.c_str());
        qetest::ScopedEnv count("QE_STAT_DEBUG_MAXCOUNT", "0");
        QEStatTracer::resetForTest();
        EXPECT_FALSE(access.tsr.GetScenarioInfo(dataset, archive, "year", "1", "12", {}, {}, {},
                                                "net_generation", {"source"}, {"Nuclear Energy"},
                                                observed, predicted));
        traced = qetest::ReadFile(QETracer()->traceDir() + "SCENARIO_INFO_AR_SCORE.qel");
    }
    QEStatTracer::resetForTest();
    EXPECT_EQ(access.Error(), "the scored records cannot be read");
    const auto jobs = qelocal::LocalEngine::instance().calls("prepare");
    ASSERT_FALSE(jobs.empty());
    const std::string job = jobs.back().args.at(0);
    std::vector<std::string> lines;
    std::stringstream text(job);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << job;
    EXPECT_EQ(traced, job);
    EXPECT_EQ(lines[0].rfind("val readerConf = {\"filesystem\":", 0), 0u);
    EXPECT_EQ(lines[1],
              R"(val scoreConf = {"fieldSetting":{"fieldNameList":{"seriesIDList":)"
              R"([["1-0"]]}},"forecast":{"forecastSpan":12},"outputOriginalValue":true})");
    EXPECT_EQ(lines[2],
              "val scoreInConf = [{\"name\":\"InputTCMXML\",\"uri\":\"" + archive + "\"}]");
    EXPECT_EQ(lines[3], "val rtsdpConf = {\"exportFutureFlag\":true}");
    EXPECT_EQ(lines[4].rfind("val rtsdpInConf = [{\"name\":\"JSON\",\"uri\":\"file:///", 0), 0u);
    EXPECT_EQ(lines[5].rfind("val writerConf = {\"dataDestination\":\"file:///", 0), 0u);
    EXPECT_EQ(lines[6],
              "read(readerConf)->tcm:ar(scoreConf, scoreInConf,_)"
              "->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)->write(writerConf)");

    // The target is scored with "tcm:score" and its settings.
    access.tsr.GetScenarioInfo(dataset, archive, "year", "1", "12", {}, {}, {}, "net_generation",
                               {"source"}, {"Fossil Fuels"}, observed, predicted);
    const std::string target = qelocal::LocalEngine::instance().calls("prepare").back().args.at(0);
    EXPECT_NE(target.find("\nval scoreConf = {\"fieldSetting\":{\"fieldType\":\"INCLUDED_TARGET_"
                          "LIST\",\"fieldNameList\":{\"seriesIDList\":[[\"0-0\"]]}},\"forecast\":"
                          "{\"doForecast\":true,\"forecastSpan\":12},\"fit\":{\"doFit\":true},"
                          "\"outputOriginalValue\":true}\n"),
              std::string::npos)
        << target;
    EXPECT_NE(target.find("->tcm:score(scoreConf, scoreInConf,_)->"), std::string::npos);
    SvrDMDataset::Remove(dataset);
}

// Bad input gives false, a message and no leftover container file.
TEST_F(TsrModelTest, BadInputIsReportedAndLeavesNoTemporaryFile) {
    const std::string archive =
        Archive({"StatXML.xml", kSummary, "TCMGraph.json", kGraph, "TSDPOutput.json", kTsdpOutput});
    const std::string notZip = qetest::TestDir() + "/model.zip";
    ASSERT_TRUE(qetest::WriteFile(notZip, "not a zip archive"));
    const LocallyUniqueID dataset = SvrDMDataset::Register(tsrtest::IowaDataset());
    const size_t before = ContainerFiles();
    Numbers observed, predicted;
    auto scenario = [&](const std::string& model, const std::string& start, const std::string& end,
                        const std::string& metric, const Strings& dims, const Strings& values) {
        const bool ok = access.tsr.GetScenarioInfo(dataset, model, "year", start, end, {}, {}, {},
                                                   metric, dims, values, observed, predicted);
        EXPECT_EQ(ContainerFiles(), before) << metric;
        return ok ? std::string("ok") : access.Error();
    };
    EXPECT_EQ(scenario(archive, "1", "12", "", {"source"}, {"Renewables"}), "no metric given");
    EXPECT_EQ(scenario(archive, "5", "2", "net_generation", {"source"}, {"Renewables"}),
              "the scenario starts (5) after it ends (2)");
    EXPECT_EQ(scenario(notZip, "1", "12", "net_generation", {"source"}, {"Renewables"}),
              notZip + " is not a zip archive");
    EXPECT_NE(scenario(archive, "1", "12", "net_generation", {"region"}, {"7"})
                  .find("preparation settings do not fit"),
              std::string::npos);
    EXPECT_NE(scenario(archive, "1", "12", "net_generation", {"source"}, {"Wind"})
                  .find("'Wind' is not a value"),
              std::string::npos);
    EXPECT_TRUE(observed.empty());
    EXPECT_TRUE(predicted.empty());

    std::string dataModel = "kept", input, output, properties, graph, tsdp;
    EXPECT_FALSE(
        access.tsr.getModelCapabilities(notZip, dataModel, input, output, properties, graph, tsdp));
    EXPECT_EQ(access.Error(), notZip + " is not a zip archive");
    EXPECT_EQ(dataModel, "kept");
    std::string stat;
    EXPECT_FALSE(
        access.tsr.getImpactDiagram(LocallyUniqueID::None(), notZip, "y", {}, {}, false, 1, stat));
    EXPECT_FALSE(
        access.tsr.getImpactDiagram(dataset, archive, "y", {"absent"}, {}, false, 1, stat));
    EXPECT_NE(access.Error().find("preparation settings"), std::string::npos);
    std::string intervals, xml;
    EXPECT_FALSE(
        access.tsr.getGatingInfo(LocallyUniqueID::None(), "", "", {"a"}, 10, intervals, xml));
    EXPECT_EQ(access.Error(), "no dataset and no data file given");
    EXPECT_EQ(ContainerFiles(), before);
    SvrDMDataset::Remove(dataset);
}

// The gating information of a case file: the data model of the asked fields and the yearly
// interval of the date field.
TEST_F(TsrModelTest, GatingInfoOfACaseFile) {
    std::string intervals, xml;
    ASSERT_TRUE(access.tsr.getGatingInfo(
        LocallyUniqueID::None(), std::string(QEINTEG_SHARED_DATA_DIR) + "/iowa-electricity.csv",
        "year", {"source", "net_generation"}, 10, intervals, xml))
        << access.Error();
    EXPECT_NE(xml.find("name=\"source\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("Nuclear Energy"), std::string::npos) << xml;
    EXPECT_NE(intervals.find("year"), std::string::npos) << intervals;
}
