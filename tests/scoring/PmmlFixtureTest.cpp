// Models fitted by scikit-learn (tests/scoring/make_fixtures.py), scored here and compared with
// scikit-learn's own predictions on held-out rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "ScoringTestSupport.h"
#include "qeinteg/platform/host/scoring/MCMV.h"

namespace {

using MCCommon_910::Value;
using MCCommon_910::ValueRecord;
using scoringtest::Compile;
using scoringtest::Fixture;
using scoringtest::ReadTable;

struct Case {
    const char* name;
    bool asFloat;  // inputs rounded to floats, as the tree models saw them
};

class FittedModelTest : public testing::TestWithParam<Case> {};

TEST_P(FittedModelTest, PredictionsMatchTheFittingTool) {
    const Case c = GetParam();
    auto computer = Compile(Fixture(std::string(c.name) + ".pmml"));
    ASSERT_NE(computer, nullptr);
    ASSERT_EQ(computer->GetKind(), MCXML_910::IMCScoreComputer::RecordScorerKind);
    const scoringtest::Table expected = ReadTable(Fixture(std::string(c.name) + ".csv"));
    ASSERT_GE(expected.rows.size(), 50u);
    const int firstOutput = 1;  // the date, then the expected outputs

    MCXML_910::MCVarList inputs;
    ASSERT_FALSE(computer->GetInputVariables(inputs).IsError());
    ValueRecord in(2);
    for (int i = 0; i < inputs.Count(); ++i)
        in.AddValue(inputs.Get(i)->GetName(), Value());
    ValueRecord out(2);
    ASSERT_FALSE(computer->PrepareOutputRecord(out).IsError());
    std::vector<int> outputs;  // output record entry of each expected column
    for (int k = firstOutput; k < static_cast<int>(expected.header.size()); ++k) {
        outputs.push_back(out.Find(expected.header[static_cast<size_t>(k)]));
        ASSERT_GE(outputs.back(), 0) << expected.header[static_cast<size_t>(k)];
    }

    for (const auto& row : expected.rows) {
        for (int i = 0; i < in.Size(); ++i)
            in.At(i).SetDouble(scoringtest::Weather(row[0], in.GetName(i), c.asFloat));
        ASSERT_TRUE(computer->Score(in, out, nullptr).IsOK());
        for (size_t k = 0; k < outputs.size(); ++k) {
            const std::string& want = row[static_cast<size_t>(firstOutput) + k];
            const Value& got = out.At(outputs[k]);
            char* end = nullptr;
            const double number = std::strtod(want.c_str(), &end);
            if (*end != '\0') {
                ASSERT_EQ(got.GetType(), Value::String) << row[0];
                EXPECT_EQ(got.GetString(), want) << "date " << row[0];
            } else {
                ASSERT_FALSE(got.IsMissing()) << row[0];
                EXPECT_NEAR(got.GetDouble(), number, 1e-9)
                    << "date " << row[0] << ", " << expected.header[firstOutput + k];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ScikitLearn, FittedModelTest,
    testing::Values(Case{"linear", false}, Case{"poisson", false}, Case{"logistic", false},
                    Case{"tree_regression", true}, Case{"tree_classification", true},
                    Case{"forest_regression", true}, Case{"forest_classification", true},
                    Case{"boosting", true}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A copy of a computer scores on its own: interleaving two clones gives each its own answers.
TEST(FittedModelCloneTest, ClonesDoNotShareRecordState) {
    auto computer = Compile(Fixture("forest_regression.pmml"));
    ASSERT_NE(computer, nullptr);
    std::unique_ptr<MCXML_910::IMCScoreComputer> clone(computer->Clone());
    const scoringtest::Table expected = ReadTable(Fixture("forest_regression.csv"));
    ValueRecord in(2), out1(2), out2(2);
    for (const char* name : {"precipitation", "temp_min", "wind"})
        in.AddValue(name, Value());
    computer->PrepareOutputRecord(out1);
    clone->PrepareOutputRecord(out2);
    const auto& a = expected.rows[0];
    const auto& b = expected.rows[1];
    for (int i = 0; i < 3; ++i)
        in.At(i).SetDouble(scoringtest::Weather(a[0], in.GetName(i), true));
    computer->Score(in, out1, nullptr);
    for (int i = 0; i < 3; ++i)
        in.At(i).SetDouble(scoringtest::Weather(b[0], in.GetName(i), true));
    clone->Score(in, out2, nullptr);
    EXPECT_NEAR(out1.GetDouble(0), std::strtod(a[1].c_str(), nullptr), 1e-9);
    EXPECT_NEAR(out2.GetDouble(0), std::strtod(b[1].c_str(), nullptr), 1e-9);
}

}  // namespace
