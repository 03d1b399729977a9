#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/job/LocalJob.h"
#include "qeinteg/platform/engine/tsdp/Tsdp.h"

using namespace qelocal;
using enginetest::MemoryIterator;
using Json = nlohmann::ordered_json;

namespace {

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

// Runs a job text through the local engine's executing face; returns "" on success or the error.
std::string RunJob(const std::string& job, std::vector<EmbeddedQE::Container*> outputs = {},
                   std::vector<EmbeddedQE::RowDataIterator*> iterators = {}) {
    enginetest::RecordingListener listener;
    ListenerEvents events(&listener, 0, nullptr);
    CancelSignal cancel;
    ExecuteLocalJob(job, {}, outputs, iterators, cancel, events);
    const auto endings = listener.endings();
    if (endings.size() == 1 && endings[0] == "success")
        return "";
    return listener.errorText.empty() ? "failed" : listener.errorText;
}

std::string CsvReader(const std::string& path) {
    Json conf{{"filesystem",
               {{"locations",
                 Json::array({{{"path", Uri(path)},
                               {"parser", {{"name", "csv"}, {"config", Json::object()}}}}})}}}};
    return conf.dump();
}

EngineField Field(const std::string& name, Storage storage) {
    EngineField f;
    f.name = name;
    f.storage = storage;
    f.measure = storage == Storage::String ? Measure::Nominal : Measure::Continuous;
    return f;
}

TsdpResult Prepare(MemoryIterator& iterator, const Json& settings) {
    IteratorRowSource source(iterator);
    return PrepareSeries(source, ParseTsdpSettings(settings));
}
}  // namespace

// The job text of the preparation, as the library writes it, runs on the public yearly data: one
// series per source, each year the total of that source's records, computed here independently.
TEST(Tsdp, IowaYearlyTotalsPerSourceThroughTheJobText) {
    const std::string input = enginetest::SharedData("iowa-electricity.csv");
    const std::string data = qetest::TestDir() + "/prepared.csv";
    const std::string model = qetest::TestDir() + "/prepared.xml";
    const std::string out = qetest::TestDir() + "/tsdp.zip";
    const Json settings{{"dimFieldList", {"source"}},
                        {"metricFieldList", {"net_generation"}},
                        {"dateTimeField", "year"},
                        {"cyclicFieldList", Json::array()},
                        {"timeInterval", {{"unit", "years"}, {"step", 1}}}};
    const std::string job =
        "val readerConf = " + CsvReader(input) + "\n" +
        "val tsdpOutConf = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"" + Uri(out) + "\"}]\n" +
        "val tsdpConf = " + settings.dump() + "\n" + "val writerConf = {\"dataDestination\":\"" +
        Uri(data) + "\",\"dataModelDestination\":\"" + Uri(model) + "\",\"type\":\"text/csv\"}\n" +
        "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    ASSERT_EQ(RunJob(job), "");

    std::map<std::pair<std::string, std::string>, double> expected;
    const auto rows = enginetest::ReadPlainCsv(input);
    for (size_t r = 1; r < rows.size(); ++r)
        expected[{rows[r][1], rows[r][0]}] += std::stod(rows[r][2]);

    const auto prepared = enginetest::ReadPlainCsv(data);
    ASSERT_FALSE(prepared.empty());
    EXPECT_EQ(prepared[0], (std::vector<std::string>{"source", "year", "net_generation"}));
    ASSERT_EQ(prepared.size() - 1, expected.size());  // every source has every year
    for (size_t r = 1; r < prepared.size(); ++r) {
        const auto it = expected.find({prepared[r][0], prepared[r][1]});
        ASSERT_NE(it, expected.end()) << prepared[r][0] << " " << prepared[r][1];
        EXPECT_DOUBLE_EQ(std::stod(prepared[r][2]), it->second);
    }
    // Sources in ascending order, years ascending within each.
    EXPECT_EQ(prepared[1][0], "Fossil Fuels");
    EXPECT_EQ(prepared[1][1], "2001-01-01");

    const Json document = Json::parse(enginetest::ReadZipEntry(out, "TSDPOutput.json").value());
    EXPECT_EQ(document["settings"]["dimFieldList"], Json({"source"}));
    EXPECT_EQ(document["settings"]["timeVariable"].size(), 17u);
    EXPECT_EQ(document["settings"]["timeVariable"][0], "2001-01-01");
    EXPECT_EQ(document["output"]["dimensionValues"]["source"],
              Json({"Fossil Fuels", "Nuclear Energy", "Renewables"}));
    EXPECT_EQ(document["output"]["series"][2]["id"], "2-0");
    EXPECT_EQ(document["output"]["series"][2]["dimensionValues"], Json({"Renewables"}));
    EXPECT_EQ(document["output"]["records"], 51);
}

// Daily weather to months: each aggregation against a month-by-month computation of the raw rows.
TEST(Tsdp, SeattleDailyToMonthlyPerAggregation) {
    const std::string input = enginetest::SharedData("seattle-weather.csv");
    const Json settings{
        {"metricFieldList", {"precipitation", "temp_max", "temp_min", "wind"}},
        {"dateTimeField", "date"},
        {"timeInterval", {{"unit", "months"}}},
        {"metricAggregation",
         {{"precipitation", "sum"}, {"temp_max", "mean"}, {"temp_min", "min"}, {"wind", "max"}}}};
    const std::string data = qetest::TestDir() + "/monthly.csv";
    const std::string out = qetest::TestDir() + "/monthly.zip";
    const Json& good = settings;
    const std::string job =
        "val readerConf = " + CsvReader(input) + "\n" +
        "val tsdpOutConf = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"" + Uri(out) + "\"}]\n" +
        "val tsdpConf = " + good.dump() + "\n" + "val writerConf = {\"dataDestination\":\"" +
        Uri(data) + "\",\"dataModelDestination\":\"\",\"type\":\"text/csv\"}\n" +
        "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    ASSERT_EQ(RunJob(job), "");

    struct Month {
        double sum = 0, maxSum = 0, min = 1e300, max = -1e300;
        int n = 0;
    };
    std::map<std::string, Month> months;
    const auto rows = enginetest::ReadPlainCsv(input);
    for (size_t r = 1; r < rows.size(); ++r) {
        Month& m = months[rows[r][0].substr(0, 7) + "-01"];
        m.sum += std::stod(rows[r][1]);
        m.maxSum += std::stod(rows[r][2]);
        m.min = std::min(m.min, std::stod(rows[r][3]));
        m.max = std::max(m.max, std::stod(rows[r][4]));
        ++m.n;
    }
    const auto prepared = enginetest::ReadPlainCsv(data);
    ASSERT_EQ(prepared.size(), 49u);  // header and 48 months
    for (size_t r = 1; r < prepared.size(); ++r) {
        const Month& m = months.at(prepared[r][0]);
        EXPECT_NEAR(std::stod(prepared[r][1]), m.sum, 1e-9) << prepared[r][0];
        EXPECT_NEAR(std::stod(prepared[r][2]), m.maxSum / m.n, 1e-9) << prepared[r][0];
        EXPECT_DOUBLE_EQ(std::stod(prepared[r][3]), m.min);
        EXPECT_DOUBLE_EQ(std::stod(prepared[r][4]), m.max);
    }
}

// Gaps in time, missing metric values, first/last/count, weeks, cyclic fields and the case number.
TEST(Tsdp, EmptyPeriodsAreMissingAndEveryTimeAxisFillsItsGrid) {
    // Days 0, 1 and 3 of 1970 for dimension "a"; day 2 has no record and must be missing.
    std::vector<EngineField> fields{Field("g", Storage::String), Field("d", Storage::Date),
                                    Field("v", Storage::Real), Field("w", Storage::Real)};
    MemoryIterator days("it", fields,
                        {{"a", "0", "1", "5"},
                         {"a", "0", "2", ""},
                         {"a", "1", "", ""},
                         {"a", "3", "4", "7"},
                         {"\x01", "3", "100", "100"},
                         {"a", "", "100", "100"}});
    const Json byDay{{"dimFieldList", {"g"}},
                     {"metricFieldList", {"v", "w"}},
                     {"dateTimeField", "d"},
                     {"timeInterval", {{"unit", "days"}}},
                     {"metricAggregation", {{"v", "last"}, {"w", "count"}}}};
    TsdpResult r = Prepare(days, byDay);
    ASSERT_EQ(r.periods, 4u);
    EXPECT_EQ(r.skippedRecords, 2u);            // no dimension value, no date
    EXPECT_EQ(r.value(0, 0, 0), 2.0);           // last
    EXPECT_EQ(r.value(0, 1, 0), 1.0);           // count of present values
    EXPECT_TRUE(std::isnan(r.value(0, 0, 1)));  // a record whose value is missing
    EXPECT_EQ(r.value(0, 1, 1), 0.0);
    EXPECT_TRUE(std::isnan(r.value(0, 0, 2)));  // an empty period, even for count
    EXPECT_TRUE(std::isnan(r.value(0, 1, 2)));
    EXPECT_EQ(r.value(0, 0, 3), 4.0);

    // Weeks begin on Monday: 1970-01-04 (Sunday) and 1970-01-05 (Monday) are different weeks.
    MemoryIterator weeks("it", fields,
                         {{"a", "3", "1", "1"}, {"a", "4", "2", "2"}, {"a", "2", "4", "4"}});
    Json byWeek = byDay;
    byWeek["timeInterval"] = {{"unit", "weeks"}};
    byWeek["metricAggregation"] = {{"v", "first"}};
    r = Prepare(weeks, byWeek);
    ASSERT_EQ(r.periods, 2u);
    EXPECT_EQ(r.value(0, 0, 0), 1.0);     // first in record order, not in time order
    EXPECT_EQ(r.timeValues[0][0], -3.0);  // Monday 1969-12-29
    EXPECT_EQ(r.timeValues[0][1], 4.0);

    // Cyclic year and month: months 1..3 cycle; (2001, 2) is missing between observed points.
    std::vector<EngineField> cyclic{Field("year", Storage::Integer),
                                    Field("month", Storage::Integer), Field("v", Storage::Real)};
    MemoryIterator months(
        "it", cyclic,
        {{"2000", "3", "1"}, {"2001", "1", "2"}, {"2001", "3", "3"}, {"2000", "1", "5"}});
    const Json byCycle{{"dimFieldList", {""}},
                       {"metricFieldList", {"v"}},
                       {"dateTimeField", ""},
                       {"cyclicFieldList", {"year", "month"}}};
    r = Prepare(months, byCycle);
    ASSERT_EQ(r.periods, 6u);  // 2000-1, 2000-3, 2001-1, 2001-3 observed; 2000-2 and 2001-2 empty
    EXPECT_EQ(r.timeValues[0], (std::vector<double>{2000, 2000, 2000, 2001, 2001, 2001}));
    EXPECT_EQ(r.timeValues[1], (std::vector<double>{1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(r.value(0, 0, 0), 5.0);
    EXPECT_TRUE(std::isnan(r.value(0, 0, 1)));
    EXPECT_EQ(r.value(0, 0, 5), 3.0);
    const Json doc = TsdpOutputDocument(byCycle, ParseTsdpSettings(byCycle), r);
    EXPECT_EQ(doc["settings"]["timeVariable"]["month"], Json({1, 2, 3, 1, 2, 3}));

    // The case number counts records within each dimension combination.
    MemoryIterator cases("it", fields,
                         {{"b", "0", "1", "1"}, {"a", "0", "2", "2"}, {"b", "0", "3", "3"}});
    const Json byCase{
        {"dimFieldList", {"g"}}, {"metricFieldList", {"v"}}, {"cyclicFieldList", {"$casecount"}}};
    r = Prepare(cases, byCase);
    ASSERT_EQ(r.periods, 2u);
    EXPECT_EQ(r.seriesId(1, 0), "1-0");
    EXPECT_EQ(r.value(1, 0, 1), 3.0);           // second record of "b"
    EXPECT_TRUE(std::isnan(r.value(0, 0, 1)));  // "a" has one record
}

TEST(Tsdp, BadSettingsFailBeforeAnyRecordIsRead) {
    std::vector<EngineField> fields{Field("t", Storage::String), Field("v", Storage::Real)};
    auto errorOf = [&](const Json& settings) -> std::string {
        MemoryIterator it("it", fields, {{"2001-01-01", "1"}});
        try {
            Prepare(it, settings);
        } catch (const EngineError& e) {
            EXPECT_EQ(it.pulled.load(), 0) << settings.dump();
            return e.what();
        }
        return "";
    };
    const Json base{{"metricFieldList", {"v"}}, {"cyclicFieldList", {"$casecount"}}};
    EXPECT_EQ(errorOf(base), "");
    Json s = base;
    s.erase("cyclicFieldList");
    EXPECT_NE(errorOf(s).find("cyclic"), std::string::npos);  // no time at all
    s = base;
    s["cyclicFieldList"] = Json::array();
    EXPECT_NE(errorOf(s), "");
    s = base;
    s["dateTimeField"] = "t";
    s["timeInterval"] = {{"unit", "days"}};
    EXPECT_NE(errorOf(s).find("holds no dates"), std::string::npos);  // text dates
    s["timeInterval"] = {{"unit", "fortnights"}};
    EXPECT_NE(errorOf(s).find("unit"), std::string::npos);
    s = base;
    s["metricFieldList"] = {"absent"};
    EXPECT_NE(errorOf(s).find("'absent'"), std::string::npos);
    s = base;
    s["metricFieldList"] = {"t"};
    EXPECT_NE(errorOf(s).find("not numeric"), std::string::npos);
    s = base;
    s["metricAggregation"] = {{"v", "median"}};
    EXPECT_NE(errorOf(s), "");
    s = base;
    s["dimFieldList"] = {"", "t"};
    EXPECT_NE(errorOf(s).find("empty"), std::string::npos);
}
