#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

using namespace qelocal;
using enginetest::MemoryIterator;
using enginetest::PathContainer;
using Json = nlohmann::ordered_json;

namespace {

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

Json CsvRead(const std::string& path, const std::string& model = "") {
    Json fs = Json::object();
    if (!model.empty())
        fs["dataModel"] = Uri(model);
    fs["locations"] = Json::array(
        {{{"path", Uri(path)}, {"parser", {{"name", "csv"}, {"config", {{"hasHeader", true}}}}}}});
    return Json{{"filesystem", fs}};
}

Json QebfRead(const std::string& path) {
    return Json{{"filesystem",
                 {{"locations",
                   Json::array({{{"path", Uri(path)},
                                 {"parser", {{"name", "qebf"}, {"config", Json::object()}}}}})}}}};
}

EngineStep Step(const std::string& ns, const std::string& function, std::vector<Json> configs) {
    return EngineStep{ns, function, std::move(configs), 0};
}

Json OutCon() {
    return Json::array({{{"export", true}, {"name", "JSON"}, {"uri", "file:////nowhere/a"}},
                        {{"export", true}, {"name", "StatXML"}, {"uri", "file:////nowhere/b"}}});
}

// A run of read -> descriptives with the two usual containers in the test directory.
struct DescriptivesRun {
    std::string json = qetest::TestDir() + "/json.zip";
    std::string stat = qetest::TestDir() + "/stat.zip";
    PathContainer jsonContainer{"JSON", json};
    PathContainer statContainer{"StatXML", stat};
    JobEnvironment env;
    std::vector<float> progress;

    DescriptivesRun() {
        env.outputContainers = {&jsonContainer, &statContainer};
        env.progress = [this](float f) { progress.push_back(f); };
    }

    void run(const Json& reader, const Json& settings) {
        RunPipelines({{Step("", "read", {reader}),
                       Step("descriptives", "descriptives", {settings, OutCon()})}},
                     env);
    }

    Json intervals() const {
        auto text = enginetest::ReadZipEntry(json, "TIME_INTERVAL.json");
        EXPECT_TRUE(text.has_value());
        return text ? Json::parse(*text) : Json();
    }
    std::string statXml() const {
        return enginetest::ReadZipEntry(stat, "StatXML.xml").value_or("");
    }
};

// The data model section as the library cuts it out of the summary.
std::string CutDataModel(const std::string& statXml) {
    size_t start = statXml.find("<DataModel>");
    if (start == std::string::npos)
        return "";
    std::string rest = statXml.substr(start);
    size_t end = rest.find("<DatasetSummaries>");
    if (end != std::string::npos)
        rest = rest.substr(0, end);
    if (rest.find("</DataModel>") == std::string::npos)
        rest += "</DataModel>";
    return rest;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(EngineJob, SeattleWeatherGivesDailyIntervalsAndAReadableSummary) {
    DescriptivesRun run;
    run.run(CsvRead(enginetest::SharedData("seattle-weather.csv")),
            Json{{"computeSummaryStats", true},
                 {"inputFieldList", {"precipitation", "weather"}},
                 {"stdDateTimeFieldList", {"date"}},
                 {"maxNOfDistinctValues", 10000}});
    const Json intervals = run.intervals();
    ASSERT_EQ(intervals["timeIntervals"].size(), 1u);
    const Json& d = intervals["timeIntervals"][0];
    EXPECT_EQ(d["field"], "date");
    EXPECT_EQ(d["unit"], "days");
    EXPECT_EQ(d["step"], 1);
    EXPECT_EQ(d["points"], 1461);
    EXPECT_EQ(d["gaps"], 0);
    EXPECT_EQ(d["duplicates"], 0);
    EXPECT_EQ(d["regular"], true);
    EXPECT_EQ(d["firstTimePoint"], "2012-01-01");
    EXPECT_EQ(d["lastTimePoint"], "2015-12-31");
    EXPECT_TRUE(d["error"].is_null());

    const std::string xml = run.statXml();
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("<StatXML"), std::string::npos);
    EXPECT_NE(xml.find("</StatXML>"), std::string::npos);
    const std::string model = CutDataModel(xml);
    ASSERT_FALSE(model.empty());
    const std::vector<EngineField> fields = ParseDataModelXml(model);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "precipitation");
    EXPECT_EQ(fields[0].storage, Storage::Real);
    EXPECT_EQ(fields[1].measure, Measure::Nominal);
    EXPECT_NE(model.find("<value kind=\"string\" value=\"drizzle\">"), std::string::npos);
    EXPECT_NE(xml.find("records=\"1461\""), std::string::npos);

    ASSERT_FALSE(run.progress.empty());
    for (size_t i = 1; i < run.progress.size(); ++i)
        EXPECT_GE(run.progress[i], run.progress[i - 1]);
    EXPECT_EQ(run.progress.back(), 1.0f);
}

TEST(EngineJob, MonthlyAndYearlyPublicSeriesThroughTextDetection) {
    // co2: the date column handed over as text, its format detected.
    const auto co2 = enginetest::ReadPlainCsv(enginetest::SharedData("co2-concentration.csv"));
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 1; i < co2.size(); ++i)
        rows.push_back({co2[i][0], co2[i][1]});
    MemoryIterator it("co2", {{"Date", Storage::String}, {"CO2", Storage::Real}}, rows);
    DescriptivesRun run;
    run.env.inputIterators = {&it};
    run.run(Json{{"dataSource", "co2"}, {"readErrorThreshold", -1}},
            Json{{"nonStdDateTimeFieldList", Json::array({Json::array({"Date"})})},
                 {"maxNOfDistinctValues", 10000}});
    Json d = run.intervals()["timeIntervals"][0];
    EXPECT_EQ(d["format"], "yyyy-MM-dd");
    EXPECT_EQ(d["unit"], "months");
    EXPECT_EQ(d["step"], 1);
    EXPECT_EQ(d["points"], rows.size());
    EXPECT_EQ(d["firstTimePoint"], "1958-03-01");
    EXPECT_EQ(d["lastTimePoint"], "2020-04-01");
    EXPECT_EQ(it.pulled.load(), static_cast<int>(rows.size()));  // every record pulled once
    // Only dates were asked for: the summary has an empty data model.
    EXPECT_NE(run.statXml().find("<DataModel>"), std::string::npos);

    DescriptivesRun iowa;
    iowa.run(CsvRead(enginetest::SharedData("iowa-electricity.csv")),
             Json{{"stdDateTimeFieldList", {"year"}}, {"maxNOfDistinctValues", 100}});
    d = iowa.intervals()["timeIntervals"][0];
    EXPECT_EQ(d["unit"], "years");
    EXPECT_EQ(d["step"], 1);
    EXPECT_EQ(d["points"], 17);
    EXPECT_EQ(d["duplicates"], 34);  // three sources per year
    EXPECT_EQ(d["regular"], true);
    EXPECT_EQ(d["sorted"], false);
}

TEST(EngineJob, QebfAndCsvWritesReadBackTheSameRecords) {
    const std::string dir = qetest::TestDir();
    const std::string source = enginetest::SharedData("seattle-weather.csv");
    JobEnvironment env;
    RunPipelines({{Step("", "read", {CsvRead(source)}),
                   Step("", "write",
                        {Json{{"dataDestination", Uri(dir + "/w.qebf")},
                              {"dataModelDestination", Uri(dir + "/w.xml")},
                              {"type", "qebf"}}})},
                  {Step("", "read", {CsvRead(source)}),
                   Step("", "write",
                        {Json{{"dataDestination", Uri(dir + "/w.csv")},
                              {"dataModelDestination", Uri(dir + "/wcsv.xml")},
                              {"type", "text/csv"}}})}},
                 env);
    const std::string model = qetest::ReadFile(dir + "/w.xml");
    EXPECT_EQ(ParseDataModelXml(model).size(), 6u);

    const Json settings{{"stdDateTimeFieldList", {"date"}}, {"maxNOfDistinctValues", 10000}};
    DescriptivesRun fromCsv, fromQebf, fromWritten;
    fromCsv.run(CsvRead(source), settings);
    fromQebf.run(QebfRead(dir + "/w.qebf"), settings);
    fromWritten.run(CsvRead(dir + "/w.csv", dir + "/wcsv.xml"), settings);
    EXPECT_EQ(fromQebf.statXml(), fromCsv.statXml());
    EXPECT_EQ(fromWritten.statXml(), fromCsv.statXml());
    EXPECT_EQ(fromQebf.intervals(), fromCsv.intervals());
}

TEST(EngineJob, TruncatedOrDamagedQebfFailsCleanly) {
    const std::string dir = qetest::TestDir();
    MemoryIterator it("ds", {{"x", Storage::Real}, {"s", Storage::String}, {"d", Storage::Date}},
                      {{"1.5", "abc", "15000"}, {"", "\x01", ""}, {"-2", "", "15001"}});
    JobEnvironment env;
    env.inputIterators = {&it};
    RunPipelines(
        {{Step("", "read", {Json{{"dataSource", "ds"}}}),
          Step("", "write", {Json{{"dataDestination", dir + "/t.qebf"}, {"type", "qebf"}}})}},
        env);
    const std::string whole = qetest::ReadFile(dir + "/t.qebf");
    ASSERT_GT(whole.size(), 20u);
    const std::string cut = dir + "/cut.qebf";
    for (size_t length = 0; length < whole.size(); ++length) {
        ASSERT_TRUE(qetest::WriteFile(cut, whole.substr(0, length)));
        DescriptivesRun run;
        const std::string error = ErrorOf([&] { run.run(QebfRead(cut), Json::object()); });
        ASSERT_FALSE(error.empty()) << "length " << length;
        EXPECT_FALSE(std::filesystem::exists(run.stat)) << "length " << length;
    }
    // Damage that keeps the length: a bad version and trailing bytes.
    std::string damaged = whole;
    damaged[4] = 9;
    ASSERT_TRUE(qetest::WriteFile(cut, damaged));
    DescriptivesRun run;
    EXPECT_NE(ErrorOf([&] { run.run(QebfRead(cut), Json::object()); }).find("version 9"),
              std::string::npos);
    ASSERT_TRUE(qetest::WriteFile(cut, whole + "x"));
    EXPECT_NE(ErrorOf([&] { run.run(QebfRead(cut), Json::object()); }).find("end marker"),
              std::string::npos);
    ASSERT_TRUE(qetest::WriteFile(cut, whole));
    EXPECT_EQ(ErrorOf([&] { run.run(QebfRead(cut), Json::object()); }), "");
    EXPECT_NE(run.statXml().find("records=\"3\""), std::string::npos);
}

TEST(EngineJob, MalformedCsvGivesCleanErrors) {
    const std::string dir = qetest::TestDir();
    auto failure = [&](const std::string& content, const std::string& model = "") {
        qetest::WriteFile(dir + "/bad.csv", content);
        if (!model.empty())
            qetest::WriteFile(dir + "/bad.xml", model);
        DescriptivesRun run;
        std::string error = ErrorOf([&] {
            run.run(CsvRead(dir + "/bad.csv", model.empty() ? "" : dir + "/bad.xml"),
                    Json::object());
        });
        EXPECT_FALSE(std::filesystem::exists(run.stat));
        return error;
    };
    EXPECT_NE(failure("a,b\n1,2\n3\n").find("1 fields in record 2, expected 2"), std::string::npos);
    EXPECT_NE(failure("a,b\n1,\"unterminated\n").find("ends inside a quoted field"),
              std::string::npos);
    EXPECT_NE(failure("a,b\n1,x\"y\"z\n").find("malformed"), std::string::npos);
    const std::string model = DataModelDocument({{"a", Storage::Real}, {"b", Storage::Real}});
    EXPECT_NE(failure("a,b\n1,2\n3,abc\n", model).find("'abc', not a valid real"),
              std::string::npos);
    EXPECT_NE(failure("a,b,c\n1,2,3\n", model).find("has 2 fields, the file 3"), std::string::npos);
    EXPECT_NE(failure("a\n1\n",
                      "<dataModel><field name='a' storage='blob' measure='nominal' "
                      "role='input'/></dataModel>")
                  .find("unknown storage"),
              std::string::npos);
    EXPECT_NE(failure("a\n1\n", "not xml").find("not well-formed"), std::string::npos);
    EXPECT_NE(ErrorOf([&] {
                  DescriptivesRun run;
                  run.run(CsvRead(dir + "/none.csv"), Json::object());
              }).find("cannot open"),
              std::string::npos);

    // Quoted cells, an empty quoted text and a byte order mark are fine.
    qetest::WriteFile(dir + "/ok.csv", "\xEF\xBB\xBFname,n\n\"a, b\",1\n\"\",2\n,3\n");
    DescriptivesRun ok;
    ok.run(CsvRead(dir + "/ok.csv"), Json{{"maxNOfDistinctValues", 10}});
    const std::string xml = ok.statXml();
    EXPECT_NE(xml.find("name=\"name\""), std::string::npos);
    EXPECT_NE(xml.find("<value kind=\"string\" value=\"a, b\">"), std::string::npos);
    EXPECT_NE(xml.find("missing=\"1\""), std::string::npos);
}

TEST(EngineJob, RepeatedAndOverWideHeadersAreRefusedByName) {
    const std::string dir = qetest::TestDir();
    // Before, the second 'a' was never summarised and the first reported twice.
    qetest::WriteFile(dir + "/dup.csv", "a,a,b,b,c\n1,2,3,4,5\n");
    DescriptivesRun run;
    EXPECT_EQ(ErrorOf([&] { run.run(CsvRead(dir + "/dup.csv"), Json::object()); }),
              "the CSV file " + dir +
                  "/dup.csv names fields more than once: 'a', 'b'; every field needs its own name");
    EXPECT_FALSE(std::filesystem::exists(run.stat));

    // 10 MB of commas once grew the process to 24 GB; now the reader stops at the limit.
    qetest::WriteFile(dir + "/wide.csv", std::string(10 << 20, ',') + "\n");
    EXPECT_NE(ErrorOf([&] {
                  ReadCsvHeader(dir + "/wide.csv");
              }).find("has more than 65536 fields in a record"),
              std::string::npos);
    // The limit itself is fine.
    std::string header;
    for (size_t i = 0; i < kMaxCsvFields; ++i)
        header += (i ? ",f" : "f") + std::to_string(i);
    qetest::WriteFile(dir + "/limit.csv", header + "\n");
    EXPECT_EQ(ReadCsvHeader(dir + "/limit.csv").size(), kMaxCsvFields);

    // The header reader: the mark skipped, causes named.
    qetest::WriteFile(dir + "/bom.csv",
                      "\xEF\xBB\xBF"
                      "a,\"b,c\"\n1,2\n");
    EXPECT_EQ(ReadCsvHeader(dir + "/bom.csv"), (std::vector<std::string>{"a", "b,c"}));
    EXPECT_EQ(ErrorOf([&] { ReadCsvHeader(dir + "/none.csv"); }),
              "cannot open the CSV file " + dir + "/none.csv: No such file or directory");
    qetest::WriteFile(dir + "/empty.csv", "");
    EXPECT_NE(ErrorOf([&] { ReadCsvHeader(dir + "/empty.csv"); }).find("has no header line"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { ReadCsvHeader(dir); }).find("cannot read the CSV file"),
              std::string::npos);
}

TEST(EngineJob, DataModelsReadBackAsWritten) {
    // Found by fuzzing: role="" was read as an empty role and written back as "input".
    const std::vector<EngineField> read = ParseDataModelXml(
        "<dataModel><field name='a' storage='real' measure='continuous' role=''/>"
        "<field name='b' storage='string' measure='nominal' role='target' label='B'/></dataModel>");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].role, "input");
    const std::vector<EngineField> again = ParseDataModelXml(DataModelDocument(read));
    ASSERT_EQ(again.size(), 2u);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(again[i].name, read[i].name);
        EXPECT_EQ(again[i].role, read[i].role);
        EXPECT_EQ(again[i].label, read[i].label);
        EXPECT_EQ(again[i].storage, read[i].storage);
    }
}

TEST(EngineJob, UnknownFunctionsAndBadConfigurationsAreRejectedBeforeReading) {
    MemoryIterator it("ds", {{"x", Storage::Real}}, {{"1"}, {"2"}});
    JobEnvironment env;
    env.inputIterators = {&it};
    const Json reader{{"dataSource", "ds"}};
    auto error = [&](std::vector<EnginePipeline> pipelines) {
        return ErrorOf([&] { RunPipelines(pipelines, env); });
    };
    EXPECT_EQ(error({{Step("", "read", {reader}), Step("frob", "frob", {Json::object()})}}),
              "unknown function frob:frob");
    EXPECT_NE(error({{Step("", "read", {reader}), Step("", "write", {Json::object()})},
                     {Step("", "frobnicate", {})}})
                  .find("unknown function frobnicate"),
              std::string::npos);
    EXPECT_NE(error({{Step("", "read", {reader})}}).find("nothing consumes"), std::string::npos);
    EXPECT_NE(error({{Step("descriptives", "descriptives", {Json::object(), OutCon()})}})
                  .find("must begin with read"),
              std::string::npos);
    EXPECT_NE(error({{Step("", "read", {Json{{"dataSource", "other"}}}),
                      Step("", "write", {Json::object()})}})
                  .find("no input iterator or engine data source is named 'other'"),
              std::string::npos);
    EXPECT_NE(error({{Step("", "read", {reader}),
                      Step("descriptives", "descriptives", {Json::object(), Json::object()})}})
                  .find("must be an array"),
              std::string::npos);
    EXPECT_NE(error({{Step("", "read", {reader}),
                      Step("", "write", {Json{{"dataDestination", "x"}, {"type", "sav"}}})}})
                  .find("'sav' is not supported"),
              std::string::npos);
    EXPECT_EQ(it.pulled.load(), 0);
}

TEST(EngineJob, CancellationAndIteratorFailuresStopTheRun) {
    std::vector<std::vector<std::string>> rows(100000, {"1"});
    MemoryIterator slow("ds", {{"x", Storage::Real}}, rows);
    slow.delayMicros = 20;
    DescriptivesRun run;
    run.env.inputIterators = {&slow};
    std::atomic<bool> cancel{false};
    run.env.cancelled = [&] { return cancel.load(); };
    std::thread canceller([&] {
        while (slow.pulled.load() < 100)
            std::this_thread::yield();
        cancel.store(true);
    });
    EXPECT_THROW(run.run(Json{{"dataSource", "ds"}}, Json::object()), EngineCancelled);
    canceller.join();
    EXPECT_LT(slow.pulled.load(), 1000);
    EXPECT_FALSE(std::filesystem::exists(run.stat));

    MemoryIterator failing("ds", {{"x", Storage::Real}}, {{"1"}, {"2"}, {"3"}});
    failing.failAt = 1;
    DescriptivesRun failed;
    failed.env.inputIterators = {&failing};
    EXPECT_NE(ErrorOf([&] {
                  failed.run(Json{{"dataSource", "ds"}}, Json::object());
              }).find("failed with status 2"),
              std::string::npos);
    MemoryIterator hostCancel("ds", {{"x", Storage::Real}}, {{"1"}, {"2"}});
    hostCancel.failAt = 1;
    hostCancel.failStatus = 3;
    DescriptivesRun cancelled;
    cancelled.env.inputIterators = {&hostCancel};
    EXPECT_THROW(cancelled.run(Json{{"dataSource", "ds"}}, Json::object()), EngineCancelled);
}

TEST(EngineJob, UriForms) {
    EXPECT_EQ(PathFromUri("file:////tmp/a.zip"), "/tmp/a.zip");
    EXPECT_EQ(PathFromUri("file:///C:/tmp/a.zip"), "C:/tmp/a.zip");
    EXPECT_EQ(PathFromUri("/tmp/a.zip"), "/tmp/a.zip");
}

TEST(EngineJob, LabelsAndMissingValuesOfTheInputModelPassThrough) {
    EngineField coded{"coded",  Storage::Integer, Measure::Nominal,
                      "target", "Coded answer",   "F8.0"};
    coded.detailXml =
        "<valueLabels><value kind=\"integer\" value=\"1\" label=\"yes\"/></valueLabels>"
        "<missingValues valid=\"true\" nullIsMissing=\"false\"><value kind=\"integer\" "
        "value=\"9\"/></missingValues>";
    MemoryIterator it("ds", {coded}, {{"1"}, {"2"}, {"1"}});
    DescriptivesRun run;
    run.env.inputIterators = {&it};
    run.run(Json{{"dataSource", "ds"}}, Json{{"maxNOfDistinctValues", 10}});
    const std::string model = CutDataModel(run.statXml());
    const std::vector<EngineField> fields = ParseDataModelXml(model);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].role, "target");
    EXPECT_EQ(fields[0].label, "Coded answer");
    EXPECT_EQ(fields[0].format, "F8.0");
    EXPECT_EQ(fields[0].measure, Measure::Nominal);
    EXPECT_NE(fields[0].detailXml.find("label=\"yes\""), std::string::npos);
    EXPECT_NE(fields[0].detailXml.find("<missingValues"), std::string::npos);
    EXPECT_NE(model.find("<value kind=\"integer\" value=\"2\">"), std::string::npos);

    // A data model file written beside the data reads back the same way.
    it.Rewind();
    JobEnvironment env;
    env.inputIterators = {&it};
    const std::string dir = qetest::TestDir();
    RunPipelines({{Step("", "read", {Json{{"dataSource", "ds"}}}),
                   Step("", "write",
                        {Json{{"dataDestination", dir + "/c.csv"},
                              {"dataModelDestination", dir + "/c.xml"},
                              {"type", "text/csv"}}})}},
                 env);
    const std::vector<EngineField> written = ParseDataModelXml(qetest::ReadFile(dir + "/c.xml"));
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].detailXml, fields[0].detailXml);
    EXPECT_EQ(qetest::ReadFile(dir + "/c.csv"), "coded\n1\n2\n1\n");
    // Models of a later version are refused rather than misread.
    EXPECT_THROW(ParseDataModelXml("<dataModel version=\"2\"/>"), EngineError);
}
