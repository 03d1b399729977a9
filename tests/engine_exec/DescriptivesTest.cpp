#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "EngineTestUtil.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/stats/Descriptives.h"
#include "qeinteg/platform/engine/stats/TextSet.h"

using namespace qelocal;
using enginetest::MemoryIterator;

namespace {

struct Reference {
    size_t n = 0;
    double min = 0, max = 0, mean = 0, sd = 0;
};

// Two-pass mean and sample standard deviation, computed independently of the engine.
Reference Compute(const std::vector<double>& values) {
    Reference r;
    r.n = values.size();
    double sum = 0;
    r.min = values.front();
    r.max = values.front();
    for (double v : values) {
        sum += v;
        r.min = std::min(r.min, v);
        r.max = std::max(r.max, v);
    }
    r.mean = sum / static_cast<double>(r.n);
    double squares = 0;
    for (double v : values)
        squares += (v - r.mean) * (v - r.mean);
    r.sd = std::sqrt(squares / static_cast<double>(r.n - 1));
    return r;
}

const FieldSummary& Find(const DescriptivesResult& result, const std::string& name) {
    for (const FieldSummary& s : result.fields) {
        if (s.field.name == name)
            return s;
    }
    throw std::runtime_error("no summary for " + name);
}

}  // namespace

TEST(Descriptives, SeattleWeatherMatchesAnIndependentComputation) {
    const std::string path = enginetest::SharedData("seattle-weather.csv");
    const auto rows = enginetest::ReadPlainCsv(path);
    ASSERT_EQ(rows.size(), 1462u);

    CsvRowSource source(path, true, std::nullopt);
    ASSERT_EQ(source.fields().size(), 6u);
    EXPECT_EQ(source.fields()[0].storage, Storage::Date);
    EXPECT_EQ(source.fields()[1].storage, Storage::Real);
    EXPECT_EQ(source.fields()[5].storage, Storage::String);

    DescriptivesSettings settings;
    settings.maxDistinctValues = 10000;
    const DescriptivesResult result = ComputeDescriptives(source, settings);
    EXPECT_EQ(result.records, 1461u);
    ASSERT_EQ(result.fields.size(), 6u);

    for (size_t column = 1; column <= 4; ++column) {
        std::vector<double> values;
        std::set<double> distinct;
        for (size_t r = 1; r < rows.size(); ++r) {
            values.push_back(std::stod(rows[r][column]));
            distinct.insert(values.back());
        }
        const Reference ref = Compute(values);
        const FieldSummary& s = Find(result, rows[0][column]);
        SCOPED_TRACE(rows[0][column]);
        EXPECT_EQ(s.count, 1461u);
        EXPECT_EQ(s.valid, 1461u);
        EXPECT_EQ(s.missing, 0u);
        EXPECT_EQ(s.minimum, ref.min);
        EXPECT_EQ(s.maximum, ref.max);
        EXPECT_NEAR(s.mean, ref.mean, 1e-9 * std::max(1.0, std::fabs(ref.mean)));
        EXPECT_NEAR(s.stdDev, ref.sd, 1e-9 * std::max(1.0, ref.sd));
        EXPECT_EQ(s.distinctCount, distinct.size());
        EXPECT_FALSE(s.distinctExceeded);
        EXPECT_EQ(s.field.measure, Measure::Continuous);
    }
    const FieldSummary& weather = Find(result, "weather");
    EXPECT_EQ(weather.field.measure, Measure::Nominal);
    EXPECT_FALSE(weather.hasMean);
    EXPECT_EQ(weather.distinctValues,
              (std::vector<std::string>{"drizzle", "fog", "rain", "snow", "sun"}));
    const FieldSummary& date = Find(result, "date");
    EXPECT_EQ(date.minimum, static_cast<double>(DaysFromCivil(2012, 1, 1)));
    EXPECT_EQ(date.maximum, static_cast<double>(DaysFromCivil(2015, 12, 31)));
}

TEST(Descriptives, LargeOffsetsKeepTheirPrecision) {
    // The sum-of-squares formula loses every digit here; the sample variance is exactly 30.
    EngineField field{"x", Storage::Real, Measure::Continuous};
    FieldAccumulator acc(field, 100, false);
    for (double v : {1e9 + 4, 1e9 + 7, 1e9 + 13, 1e9 + 16}) {
        Cell c;
        c.missing = false;
        c.number = v;
        acc.add(c);
    }
    const FieldSummary s = acc.finish(true);
    EXPECT_DOUBLE_EQ(s.mean, 1e9 + 10);
    EXPECT_NEAR(s.stdDev, std::sqrt(30.0), 1e-9);
}

TEST(Descriptives, LongStreamsAtLargeOffsetsGiveTheExactMeanAndDeviation) {
    // 100,000 values offset + {0, 2, 4, 6}: the mean is offset + 3 and the sample variance
    // 5 * n / (n - 1). Summing the raw values per block once gave 1e15 + 0.9 and 3.084.
    constexpr int kCount = 100000;
    const double exactSd = std::sqrt(5.0 * kCount / (kCount - 1));
    for (double offset : {1e9, 1e12, 1e15}) {
        SCOPED_TRACE(offset);
        EngineField field{"x", Storage::Real, Measure::Continuous};
        FieldAccumulator acc(field, 100, false);
        for (int i = 0; i < kCount; ++i) {
            Cell c;
            c.missing = false;
            c.number = offset + 2 * (i % 4);
            acc.add(c);
        }
        const FieldSummary s = acc.finish(true);
        EXPECT_EQ(s.valid, static_cast<uint64_t>(kCount));
        EXPECT_EQ(s.mean, offset + 3);
        EXPECT_NEAR(s.stdDev, exactSd, 1e-9);
        EXPECT_EQ(s.minimum, offset);
        EXPECT_EQ(s.maximum, offset + 6);
    }
}

TEST(Descriptives, MissingValuesSingleValuesAndTheDistinctLimit) {
    std::vector<EngineField> fields = {
        {"n", Storage::Real}, {"s", Storage::String}, {"one", Storage::Integer}};
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 50; ++i) {
        rows.push_back({i % 10 == 0 ? "" : std::to_string(i % 7),
                        i % 5 == 0 ? "\x01" : "v" + std::to_string(i), i == 3 ? "42" : ""});
    }
    rows.push_back({"nan", "v1", ""});  // not a number: missing
    const double sysmis = -std::numeric_limits<double>::max();
    rows.push_back({std::to_string(sysmis), "v1", ""});

    MemoryIterator it("ds", fields, rows);
    IteratorRowSource source(it);
    DescriptivesSettings settings;
    settings.maxDistinctValues = 20;
    DescriptivesResult r = ComputeDescriptives(source, settings);
    EXPECT_EQ(r.records, 52u);
    const FieldSummary& n = Find(r, "n");
    EXPECT_EQ(n.valid, 45u);
    EXPECT_EQ(n.missing, 7u);
    EXPECT_EQ(n.minimum, 0);
    EXPECT_EQ(n.maximum, 6);
    EXPECT_EQ(n.distinctValues, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6"}));
    const FieldSummary& s = Find(r, "s");
    EXPECT_EQ(s.missing, 10u);
    EXPECT_TRUE(s.distinctExceeded);  // 40 distinct texts, limit 20
    EXPECT_EQ(s.distinctCount, 20u);
    EXPECT_TRUE(s.distinctValues.empty());
    const FieldSummary& one = Find(r, "one");
    EXPECT_EQ(one.valid, 1u);
    EXPECT_TRUE(one.hasMean);
    EXPECT_FALSE(one.hasStdDev);  // a sample deviation needs two values

    // A limit of zero collects no values at all; a limit equal to the count is not exceeded.
    it.Rewind();
    IteratorRowSource again(it);
    settings.maxDistinctValues = 0;
    settings.inputFields = {"one"};
    settings.inputFieldsGiven = true;
    r = ComputeDescriptives(again, settings);
    ASSERT_EQ(r.fields.size(), 1u);
    EXPECT_TRUE(r.fields[0].distinctExceeded);
    it.Rewind();
    IteratorRowSource third(it);
    settings.maxDistinctValues = 1;
    r = ComputeDescriptives(third, settings);
    EXPECT_FALSE(r.fields[0].distinctExceeded);
    EXPECT_EQ(r.fields[0].distinctValues, std::vector<std::string>{"42"});
}

TEST(Descriptives, SettingsAreCheckedBeforeAnyRecordIsRead) {
    DescriptivesSettings s = ParseDescriptivesSettings(
        R"({"computeSummaryStats":true,"inputFieldList":["a","b"],"stdDateTimeFieldList":["d"],)"
        R"("nonStdDateTimeFieldList":[["t1","t2"]],"maxNOfDistinctValues":25,"trimTrailingBlank":true})");
    EXPECT_EQ(s.inputFields, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(s.stdDateTimeFields, std::vector<std::string>{"d"});
    EXPECT_EQ(s.nonStdDateTimeFields, (std::vector<std::string>{"t1", "t2"}));
    EXPECT_EQ(s.maxDistinctValues, 25);
    EXPECT_TRUE(s.trimTrailingBlank);

    EXPECT_THROW(ParseDescriptivesSettings("[1]"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings("{"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings(R"({"maxNOfDistinctValues":-1})"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings(R"({"maxNOfDistinctValues":"10"})"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings(R"({"inputFieldList":"a"})"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings(R"({"inputFieldList":[1]})"), EngineError);
    EXPECT_THROW(ParseDescriptivesSettings(R"({"computeSummaryStats":"yes"})"), EngineError);

    MemoryIterator it("ds", {{"a", Storage::Real}}, {{"1"}});
    IteratorRowSource source(it);
    DescriptivesSettings missing;
    missing.inputFields = {"zz"};
    missing.inputFieldsGiven = true;
    try {
        ComputeDescriptives(source, missing);
        FAIL() << "an unknown field must fail";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("'zz'"), std::string::npos);
    }
    EXPECT_EQ(it.pulled.load(), 0);
}

TEST(Descriptives, DistinctSetsCountEveryValueOnceWhateverItsBytes) {
    // Texts that share all but one byte, at every length the hash reads differently (short,
    // overlapping words, several words), embedded zero bytes and the empty text: each counts
    // once, repeats never, and the set keeps the first insertion order.
    TextSet texts;
    std::set<std::string> reference;
    std::vector<std::string> order;
    for (size_t length = 0; length <= 24; ++length) {
        for (size_t at = 0; at < std::max<size_t>(length, 1); ++at) {
            for (char c : {'a', 'b', '\0'}) {
                std::string text(length, 'x');
                if (length > 0)
                    text[at] = c;
                const bool isNew = reference.insert(text).second;
                if (isNew)
                    order.push_back(text);
                EXPECT_EQ(texts.insert(text), isNew) << length << " " << at;
                EXPECT_FALSE(texts.insert(text));
            }
        }
    }
    EXPECT_EQ(texts.size(), reference.size());
    EXPECT_EQ(texts.values(), order);
    texts.clear();
    EXPECT_EQ(texts.size(), 0u);
    EXPECT_TRUE(texts.insert("x"));

    // Numbers by value: -0 is 0, integral values (whose low bits are all zero) and values a
    // unit in the last place apart are all told apart.
    DoubleSet numbers;
    size_t expected = 0;
    for (int i = 0; i < 5000; ++i) {
        EXPECT_TRUE(numbers.insert(static_cast<double>(i)));
        EXPECT_TRUE(numbers.insert(std::nextafter(1000.0 + i, 2e9)));
        expected += 2;
    }
    EXPECT_FALSE(numbers.insert(-0.0));
    EXPECT_FALSE(numbers.insert(4999.0));
    EXPECT_TRUE(numbers.insert(-1.0));
    EXPECT_EQ(numbers.size(), expected + 1);
    std::vector<double> values = numbers.values();
    std::sort(values.begin(), values.end());
    EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end());
    EXPECT_EQ(values.size(), expected + 1);
}
