// The descriptives job on the shipped public datasets against a plain two-pass computation in long
// double, made here without the engine's reader, parser or accumulators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"

using namespace qelocal;
using enginetest::PathContainer;
using Json = nlohmann::ordered_json;

namespace {

struct Column {
    std::string storage;  // integer, real, date or string
    uint64_t valid = 0;
    uint64_t missing = 0;
    long double min = 0, max = 0, mean = 0, sd = 0;
    size_t distinct = 0;
};

bool IsIntegerText(const std::string& t) {
    if (t.empty())
        return false;
    size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size())
        return false;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
    }
    return true;
}

bool ReadReal(const std::string& t, long double& out) {
    if (t.empty())
        return false;
    char* end = nullptr;
    out = std::strtold(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(out);
}

// yyyy-MM-dd as days since 1970-01-01 (civil calendar, counted here from the year lengths).
bool ReadIsoDate(const std::string& t, long double& days) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (t[i] < '0' || t[i] > '9')
            return false;
    }
    const int y = std::stoi(t.substr(0, 4));
    const int m = std::stoi(t.substr(5, 2));
    const int d = std::stoi(t.substr(8, 2));
    auto leap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > lengths[m - 1] + (m == 2 && leap(y) ? 1 : 0))
        return false;
    long n = 0;
    for (int year = 1970; year < y; ++year)
        n += leap(year) ? 366 : 365;
    for (int year = y; year < 1970; ++year)
        n -= leap(year) ? 366 : 365;
    for (int month = 1; month < m; ++month)
        n += lengths[month - 1] + (month == 2 && leap(y) ? 1 : 0);
    days = static_cast<long double>(n + d - 1);
    return true;
}

Column Reference(const std::vector<std::string>& cells) {
    Column c;
    std::vector<std::string> values;
    for (const std::string& cell : cells) {
        if (cell.empty())
            ++c.missing;
        else
            values.push_back(cell);
    }
    c.valid = values.size();
    bool integer = !values.empty(), real = integer, date = integer;
    std::vector<long double> numbers(values.size()), days(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        integer = integer && IsIntegerText(values[i]);
        real = real && ReadReal(values[i], numbers[i]);
        date = date && ReadIsoDate(values[i], days[i]);
    }
    c.storage = integer ? "integer" : real ? "real" : date ? "date" : "string";
    if (c.storage == "string") {
        c.distinct = std::set<std::string>(values.begin(), values.end()).size();
        return c;
    }
    const std::vector<long double>& x = c.storage == "date" ? days : numbers;
    c.distinct = std::set<long double>(x.begin(), x.end()).size();
    long double sum = 0;
    c.min = c.max = x[0];
    for (long double v : x) {
        sum += v;
        c.min = std::min(c.min, v);
        c.max = std::max(c.max, v);
    }
    c.mean = sum / static_cast<long double>(x.size());
    long double squares = 0;
    for (long double v : x)
        squares += (v - c.mean) * (v - c.mean);
    c.sd = x.size() > 1 ? std::sqrt(squares / static_cast<long double>(x.size() - 1)) : 0;
    return c;
}

void ExpectClose(const char* what, double engine, long double reference) {
    const long double scale = std::max<long double>(std::fabs(reference), 1e-300L);
    EXPECT_LE(std::fabs(static_cast<long double>(engine) - reference) / scale, 1e-12L)
        << what << ": engine " << engine << ", reference " << static_cast<double>(reference);
}

}  // namespace

TEST(DescriptivesAccuracy, ShippedDatasetsAgreeWithATwoPassComputationTo1e12) {
    for (const char* name : {"seattle-weather.csv", "co2-concentration.csv", "iowa-electricity.csv",
                             "birdstrikes.csv"}) {
        SCOPED_TRACE(name);
        const std::string path = enginetest::SharedData(name);
        const auto rows = enginetest::ReadPlainCsv(path);
        ASSERT_GT(rows.size(), 1u);

        const std::string stat = qetest::TestDir() + "/accuracy.zip";
        PathContainer container("StatXML", stat);
        JobEnvironment env;
        env.outputContainers = {&container};
        const Json reader = {{"filesystem",
                              {{"locations", Json::array({{{"path", "file:///" + path},
                                                           {"parser", {{"name", "csv"}}}}})}}}};
        const Json settings = {{"maxNOfDistinctValues", 100000}};
        const Json outputs =
            Json::array({{{"export", true}, {"name", "StatXML"}, {"uri", "file:///x"}}});
        RunPipelines({{EngineStep{"", "read", {reader}, 1},
                       EngineStep{"descriptives", "descriptives", {settings, outputs}, 2}}},
                     env);
        const std::string xml = enginetest::ReadZipEntry(stat, "StatXML.xml").value_or("");
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(xml.c_str()));
        const pugi::xml_node dataset =
            document.child("StatXML").child("DatasetSummaries").child("DatasetSummary");
        EXPECT_EQ(dataset.attribute("records").as_ullong(), rows.size() - 1);

        size_t column = 0;
        for (pugi::xml_node f : dataset.children("FieldSummary")) {
            ASSERT_LT(column, rows[0].size());
            SCOPED_TRACE(rows[0][column]);
            EXPECT_EQ(std::string(f.attribute("name").as_string()), rows[0][column]);
            std::vector<std::string> cells;
            for (size_t r = 1; r < rows.size(); ++r)
                cells.push_back(column < rows[r].size() ? rows[r][column] : "");
            const Column ref = Reference(cells);
            EXPECT_EQ(std::string(f.attribute("storage").as_string()), ref.storage);
            EXPECT_EQ(f.attribute("valid").as_ullong(), ref.valid);
            EXPECT_EQ(f.attribute("missing").as_ullong(), ref.missing);
            EXPECT_EQ(f.attribute("distinctValues").as_ullong(), ref.distinct);
            if (ref.storage != "string" && ref.valid > 0) {
                ExpectClose("minimum", f.attribute("minimum").as_double(), ref.min);
                ExpectClose("maximum", f.attribute("maximum").as_double(), ref.max);
                ExpectClose("mean", f.attribute("mean").as_double(), ref.mean);
                if (ref.valid > 1)
                    ExpectClose("stdDev", f.attribute("stdDev").as_double(), ref.sd);
            }
            ++column;
        }
        EXPECT_EQ(column, rows[0].size());
    }
}
