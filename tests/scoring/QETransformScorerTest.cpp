// The record scorer over row iterators: how row values reach the model and which outputs come
// back, and every way a preparation can go wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "ScoringTestSupport.h"
#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/scoring/MCMV.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/procedures/QETransformScorer.h"

namespace {

using scoringtest::MemoryIterator;
using Field = MemoryIterator::Field;
const double kMissing = MCCommon_910::MCMV::Missing();

std::string Model(const std::string& dictionary, const std::string& model) {
    return "<PMML version='4.4'><DataDictionary>" + dictionary + "</DataDictionary>" + model +
           "</PMML>";
}

// t = 2*n + x + 100*[s == ""] with outputs declared in upper case, in the order SCORE, DOUBLE.
const std::string kLinear = Model(
    "<DataField name='n' optype='continuous' dataType='integer'/>"
    "<DataField name='x' optype='continuous' dataType='double'/>"
    "<DataField name='s' optype='categorical' dataType='string'/>"
    "<DataField name='t' optype='continuous' dataType='double'/>",
    "<RegressionModel functionName='regression'><MiningSchema>"
    "<MiningField name='t' usageType='target'/><MiningField name='n'/><MiningField name='x'/>"
    "<MiningField name='s'/></MiningSchema><Output>"
    "<OutputField name='SCORE' feature='predictedValue'/>"
    "<OutputField name='DOUBLE' feature='transformedValue'><Apply function='*'>"
    "<FieldRef field='SCORE'/><Constant>2</Constant></Apply></OutputField></Output>"
    "<RegressionTable intercept='0'><NumericPredictor name='n' coefficient='2'/>"
    "<NumericPredictor name='x' coefficient='1'/>"
    "<CategoricalPredictor name='s' value='' coefficient='100'/></RegressionTable>"
    "</RegressionModel>");

MemoryIterator LinearData(std::vector<std::vector<MemoryIterator::Cell>> rows) {
    return MemoryIterator({{"id", CFField::String},
                           {"s", CFField::String},
                           {"x", CFField::Real},
                           {"n", CFField::Integer}},
                          std::move(rows));
}

TEST(QETransformScorerTest, RequestedOutputsAreFoundWithoutRegardToCaseAndKeepListOrder) {
    MemoryIterator data = LinearData({{"a", "k", "0.5", "3"}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, kLinear, {"double", "Score"}, true))
        << scorer.GetLastError();
    EXPECT_EQ(scorer.GetInputModelVarNames(), (std::vector<std::string>{"n", "x", "s"}));
    EXPECT_EQ(scorer.GetOutputModelVarNames(), (std::vector<std::string>{"SCORE", "DOUBLE"}));
    // Before any record every target is missing.
    EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{kMissing, kMissing}));
    ASSERT_EQ(data.nextRecord(), 0u);
    ASSERT_TRUE(scorer.ScoreRecord());
    EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{13.0, 6.5}));

    QETransformScorer all;
    ASSERT_TRUE(all.PrepareScoring(&data, kLinear, {}, true));
    ASSERT_TRUE(all.ScoreRecord());
    EXPECT_EQ(all.GetTargetValues(), (std::vector<double>{6.5, 13.0}));
}

TEST(QETransformScorerTest, IntegerInputsAreReadFromTheIteratorsDoubles) {
    // The iterator hands the integer field over as a double; NaN and system-missing are missing.
    MemoryIterator data = LinearData({{"a", "k", "0", "21"},
                                      {"b", "k", "0", "-7"},
                                      {"c", "k", "0", "nan"},
                                      {"d", "k", "0", std::to_string(SYSMIS)},
                                      {"e", "k", "0", std::nullopt}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, kLinear, {"score"}, true));
    const double expected[] = {42, -14, kMissing, kMissing, kMissing};
    for (double want : expected) {
        ASSERT_EQ(data.nextRecord(), 0u);
        ASSERT_TRUE(scorer.ScoreRecord());
        EXPECT_EQ(scorer.GetTargetValues()[0], want);
    }
}

TEST(QETransformScorerTest, MissingStringReachesTheModelAsEmptyText) {
    MemoryIterator data = LinearData({{"a", std::nullopt, "1", "1"}, {"b", "", "1", "1"}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, kLinear, {"score"}, true));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(data.nextRecord(), 0u);
        ASSERT_TRUE(scorer.ScoreRecord());
        EXPECT_EQ(scorer.GetTargetValues()[0], 103.0);
    }
}

TEST(QETransformScorerTest, MissingDateReachesTheModelAsMissingNotAsTheBaseDate) {
    // -1 for a missing date, 1 from 1970-01-11 on, else 0.
    const std::string model = Model(
        "<DataField name='d' optype='continuous' dataType='date'/>"
        "<DataField name='t' optype='continuous' dataType='double'/>",
        "<TreeModel functionName='regression'><MiningSchema><MiningField name='t' "
        "usageType='target'/><MiningField name='d'/></MiningSchema><Node score='0'><True/>"
        "<Node score='-1'><SimplePredicate field='d' operator='isMissing'/></Node>"
        "<Node score='1'><SimplePredicate field='d' operator='greaterOrEqual' value='1970-01-11'/>"
        "</Node><Node score='0'><True/></Node></Node></TreeModel>");
    MemoryIterator data({{"d", CFField::Date}},
                        {{std::nullopt}, {"0"}, {"10"}, {std::to_string(SYSMIS)}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, model, {}, true)) << scorer.GetLastError();
    for (double want : {-1.0, 0.0, 1.0, -1.0}) {
        ASSERT_EQ(data.nextRecord(), 0u);
        ASSERT_TRUE(scorer.ScoreRecord());
        EXPECT_EQ(scorer.GetTargetValues()[0], want);
    }
}

TEST(QETransformScorerTest, SecondPreparationStartsFromACleanState) {
    MemoryIterator first = LinearData({{"a", "k", "1", "1"}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&first, kLinear, {}, true));
    const std::string tree = scoringtest::Fixture("tree_classification.pmml");
    MemoryIterator second(
        {{"wind", CFField::Real}, {"temp_min", CFField::Real}, {"temp_max", CFField::Real}},
        {{"2", "10", "1"}});
    ASSERT_TRUE(scorer.PrepareScoring(&second, tree, {"P_rain"}, true)) << scorer.GetLastError();
    EXPECT_EQ(scorer.GetInputModelVarNames(),
              (std::vector<std::string>{"temp_max", "temp_min", "wind"}));
    EXPECT_EQ(scorer.GetOutputModelVarNames(),
              (std::vector<std::string>{"predicted_rain", "P_rain"}));
    ASSERT_EQ(scorer.GetTargetValues().size(), 1u);
    ASSERT_EQ(second.nextRecord(), 0u);
    EXPECT_TRUE(scorer.ScoreRecord()) << scorer.GetLastError();

    // A failed preparation leaves nothing usable behind.
    EXPECT_FALSE(scorer.PrepareScoring(&second, kLinear, {}, true));
    EXPECT_TRUE(scorer.GetInputModelVarNames().empty());
    EXPECT_FALSE(scorer.ScoreRecord());
}

TEST(QETransformScorerTest, BadPreparationsFailWithTheirCause) {
    MemoryIterator data = LinearData({{"a", "k", "1", "1"}});
    MemoryIterator numericS({{"s", CFField::Real}, {"x", CFField::Real}, {"n", CFField::Real}}, {});
    MemoryIterator stringX({{"s", CFField::String}, {"x", CFField::String}, {"n", CFField::Real}},
                           {});
    MemoryIterator noX({{"s", CFField::String}, {"n", CFField::Real}}, {});
    const std::string stringOutput = scoringtest::Fixture("logistic.pmml");
    MemoryIterator weather({{"precipitation", CFField::Real},
                            {"temp_max", CFField::Real},
                            {"temp_min", CFField::Real},
                            {"wind", CFField::Real}},
                           {});
    const std::string transformOnly = Model(
        "<DataField name='x' optype='continuous' dataType='double'/>",
        "<TransformationDictionary><DerivedField name='d'><FieldRef field='x'/></DerivedField>"
        "</TransformationDictionary>");
    struct Case {
        const char* name;
        EmbeddedQE::RowDataIterator* iterator;
        std::string model;
        std::vector<std::string> outputs;
        const char* cause;
    };
    const Case cases[] = {
        {"null iterator", nullptr, kLinear, {}, "no row iterator"},
        {"empty model", &data, "", {}, "empty"},
        {"not XML", &data, "<PMML", {}, "not XML"},
        {"unsupported model",
         &data,
         Model("", "<SupportVectorMachineModel functionName='regression'/>"),
         {},
         "SupportVectorMachineModel"},
        {"no model", &data, transformOnly, {}, "kind 8"},
        {"input not in the data", &noX, kLinear, {}, "'x'"},
        {"string input over a number", &numericS, kLinear, {}, "'s' is a string"},
        {"number input over a string", &stringX, kLinear, {}, "'x' is a number"},
        {"unknown output", &data, kLinear, {"score", "nope"}, "no output 'nope'"},
        {"string output", &weather, stringOutput, {"P_rain"}, "'predicted' is a string"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QETransformScorer scorer;
        EXPECT_FALSE(scorer.PrepareScoring(c.iterator, c.model, c.outputs, true));
        EXPECT_NE(scorer.GetLastError().find(c.cause), std::string::npos) << scorer.GetLastError();
        EXPECT_FALSE(scorer.ScoreRecord());
    }
}

TEST(QETransformScorerTest, RecordWithEveryInputMissingScoresAsMissing) {
    MemoryIterator data = LinearData({{"a", std::nullopt, std::nullopt, std::nullopt}});
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, kLinear, {}, true));
    ASSERT_EQ(data.nextRecord(), 0u);
    EXPECT_TRUE(scorer.ScoreRecord());
    for (double v : scorer.GetTargetValues())
        EXPECT_FALSE(scorer.IsValidDouble(v));
    EXPECT_FALSE(scorer.IsValidDouble(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(scorer.IsValidDouble(std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(scorer.IsValidDouble(0.0));
    // A row the iterator cannot deliver (past the end) is an error with every target missing.
    ASSERT_EQ(data.nextRecord(), 1u);
    EXPECT_FALSE(scorer.ScoreRecord());
    EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{kMissing, kMissing}));
}

TEST(QETransformScorerTest, OutputNamesInTheHostCodePageAreConverted) {
    const std::string model = Model(
        "<DataField name='x' optype='continuous' dataType='double'/>"
        "<DataField name='t' optype='continuous' dataType='double'/>",
        "<RegressionModel functionName='regression'><MiningSchema><MiningField name='t' "
        "usageType='target'/><MiningField name='x'/></MiningSchema><Output>"
        "<OutputField name='Gr\xC3\xB6\xC3\x9F"
        "e' feature='predictedValue'/>"
        "<OutputField name='other' feature='predictedValue'/></Output>"
        "<RegressionTable intercept='1'/></RegressionModel>");
    MemoryIterator data({{"X", CFField::Real}}, {{"1"}});
    ASSERT_TRUE(qehost::testing::SetCodePage("windows-1252"));
    QETransformScorer scorer;
    // Lower-case o-umlaut in windows-1252; the model input x finds the data field X.
    const bool ok = scorer.PrepareScoring(&data, model,
                                          {"gr\xF6\xDF"
                                           "e"},
                                          false);
    qehost::testing::SetCodePage("UTF-8");
    ASSERT_TRUE(ok) << scorer.GetLastError();
    ASSERT_EQ(data.nextRecord(), 0u);
    ASSERT_TRUE(scorer.ScoreRecord());
    EXPECT_EQ(scorer.GetTargetValues(), std::vector<double>{1.0});
}

TEST(QETransformScorerTest, FittedClassifierScoresThroughTheIterator) {
    const scoringtest::Table expected =
        scoringtest::ReadTable(scoringtest::Fixture("tree_classification.csv"));
    std::vector<std::vector<MemoryIterator::Cell>> rows;
    for (const auto& r : expected.rows) {
        std::vector<MemoryIterator::Cell> cells;
        for (const char* f : {"temp_max", "temp_min", "wind"}) {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", scoringtest::Weather(r[0], f, true));
            cells.emplace_back(text);
        }
        rows.push_back(std::move(cells));
    }
    MemoryIterator data(
        {{"temp_max", CFField::Real}, {"temp_min", CFField::Real}, {"wind", CFField::Real}},
        std::move(rows));
    QETransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&data, scoringtest::Fixture("tree_classification.pmml"),
                                      {"P_RAIN", "PREDICTED_RAIN"}, true));
    QETransformScorer copy(scorer);  // scores on its own state
    for (const auto& r : expected.rows) {
        ASSERT_EQ(data.nextRecord(), 0u);
        ASSERT_TRUE(scorer.ScoreRecord());
        ASSERT_TRUE(copy.ScoreRecord());
        EXPECT_EQ(scorer.GetTargetValues()[1], std::stod(r[1])) << r[0];
        EXPECT_NEAR(scorer.GetTargetValues()[0], std::stod(r[2]), 1e-9) << r[0];
        EXPECT_EQ(copy.GetTargetValues(), scorer.GetTargetValues());
    }
}

}  // namespace
