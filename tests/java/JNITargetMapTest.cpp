#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qeinteg/java/JNITargetMap.h"
#include "qeinteg/platform/engine/tsdp/TcmModel.h"

namespace {

using Strings = std::vector<std::string>;

// Targets 0-0 (inputs: itself and 1-0), 1-0 (itself only) and 2-0 (itself and 3-0, "Zürich" series
// text included to cross the string conversion).
const char* kGraph = R"({"version":1,"lags":2,
  "series":[{"id":"0-0"},{"id":"1-0"},{"id":"2-0"},{"id":"3-0"}],
  "targets":[
    {"series":"0-0","predictorIndexSet":[0,1],
     "predictors":[{"series":"0-0","lags":[1,2],"weights":[0.5,0]},
                   {"series":"1-0","lags":[1,2],"weights":[0,2]}]},
    {"series":"1-0","predictorIndexSet":[1],
     "predictors":[{"series":"1-0","lags":[1,2],"weights":[0.1,0.2]}]},
    {"series":"2-0","predictorIndexSet":[2,3],
     "predictors":[{"series":"2-0","lags":[1,2],"weights":[0.3,0]},
                   {"series":"Zürich-3","lags":[1,2],"weights":[1,0]}]}]})";

}  // namespace

TEST(JNITargetMap, AnswersTheGraphsQuestions) {
    JNITargetMap map(kGraph);
    EXPECT_TRUE(map.IsTarget("0-0"));
    EXPECT_FALSE(map.IsTarget("Zürich-3"));
    // Both a predictor and a target: valid, but not an autoregressive series.
    EXPECT_TRUE(map.IsPredictor("1-0"));
    EXPECT_TRUE(map.IsTarget("1-0"));
    EXPECT_TRUE(map.IsValidSeries("1-0"));
    EXPECT_FALSE(map.IsArModelSeries("1-0"));
    // A target's own lags do not make it a predictor.
    EXPECT_FALSE(map.IsPredictor("0-0"));
    EXPECT_TRUE(map.IsArModelSeries("Zürich-3"));
    EXPECT_FALSE(map.IsValidSeries("9-9"));

    Strings out{"kept"};
    ASSERT_TRUE(map.GetAllTargets(out));
    EXPECT_EQ(out, (Strings{"kept", "0-0", "1-0", "2-0"}));  // appended, in the graph's order
    out.clear();
    ASSERT_TRUE(map.GetAllPredictors(out));
    EXPECT_EQ(out, (Strings{"1-0", "Zürich-3"}));
    out.clear();
    // 0-0 and 2-0 have a predictor index set of two: only 1-0 has no input but itself.
    ASSERT_TRUE(map.GetTargetsWithoutInput(out));
    EXPECT_EQ(out, (Strings{"1-0"}));
    out.clear();
    ASSERT_TRUE(map.GetArModelSeries(out));
    EXPECT_EQ(out, (Strings{"Zürich-3"}));
}

TEST(JNITargetMap, NoTargetsAndTextsThatAreNoGraph) {
    JNITargetMap empty(R"({"series":[],"targets":[]})");
    Strings out;
    EXPECT_TRUE(empty.GetTargetsWithoutInput(out));
    EXPECT_TRUE(out.empty());
    for (const char* text : {"", "not json", "[]", R"({"targets":[{"predictorIndexSet":[0]}]})",
                             R"({"targets":{}})"}) {
        JNITargetMap bad(text);
        EXPECT_FALSE(bad.IsTarget("0-0")) << text;
        EXPECT_FALSE(bad.IsValidSeries("0-0")) << text;
        Strings all;
        EXPECT_TRUE(bad.GetAllTargets(all));
        EXPECT_TRUE(all.empty()) << text;
    }
}

// The graph the local engine writes into a model archive reads as the model says.
TEST(JNITargetMap, ReadsTheGraphTheEngineWrites) {
    qelocal::TsdpResult data;
    data.metrics = {"y", "x"};
    data.combinations = {{}};
    data.periods = 80;
    std::vector<double> x(80), y(80);
    for (size_t t = 0; t < 80; ++t) {
        x[t] = static_cast<double>((t * 7919) % 97) / 97.0;
        y[t] = t >= 2 ? 0.5 * y[t - 1] + 2.0 * x[t - 2] : 1.0;
    }
    data.values = y;
    data.values.insert(data.values.end(), x.begin(), x.end());
    qelocal::TcmSettings settings;
    settings.lags = 2;
    settings.targetMetrics = {"y"};
    settings.inputMetrics = {"x"};
    const auto models = qelocal::FitTcm(data, settings);
    JNITargetMap map(qelocal::TcmGraphDocument(models, data).dump());
    EXPECT_TRUE(map.IsTarget("0"));
    EXPECT_TRUE(map.IsArModelSeries("1"));
    Strings out;
    ASSERT_TRUE(map.GetTargetsWithoutInput(out));
    EXPECT_TRUE(out.empty());
}
