#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/tsdp/TcmModel.h"

using namespace qelocal;
using Json = nlohmann::ordered_json;

namespace {

// Prepared series without dimensions: series m is metric m on one shared grid.
TsdpResult Series(const std::vector<std::string>& metrics,
                  const std::vector<std::vector<double>>& columns) {
    TsdpResult r;
    r.metrics = metrics;
    r.combinations = {{}};
    r.periods = columns.at(0).size();
    EngineField time;
    time.name = "$casecount";
    time.storage = Storage::Integer;
    r.timeFields = {time};
    r.timeValues.emplace_back();
    for (size_t p = 0; p < r.periods; ++p)
        r.timeValues[0].push_back(static_cast<double>(p + 1));
    for (const auto& column : columns)
        r.values.insert(r.values.end(), column.begin(), column.end());
    return r;
}

// y[t] = 0.5 y[t-1] + 2 x[t-2] + noiseScale * e[t], with x and an unrelated series uniform noise.
TsdpResult Recurrence(size_t n, double noiseScale, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(n), y(n), unrelated(n);
    for (size_t t = 0; t < n; ++t) {
        x[t] = uniform(random);
        unrelated[t] = uniform(random);
        y[t] = (t >= 2 ? 0.5 * y[t - 1] + 2.0 * x[t - 2] : uniform(random)) +
               (t >= 2 ? noiseScale * uniform(random) : 0.0);
    }
    return Series({"y", "x", "noise"}, {y, x, unrelated});
}

TcmSettings Settings(int lags) {
    TcmSettings s;
    s.lags = lags;
    s.targetMetrics = {"y"};
    s.inputMetrics = {"x", "noise"};
    return s;
}

const TcmSeriesModel& ModelOf(const TcmModelSet& set, const std::string& id) {
    for (const TcmSeriesModel& m : set.models) {
        if (set.seriesIds[m.series] == id)
            return m;
    }
    throw std::runtime_error("no model for " + id);
}

bool AllFinite(const TcmModelSet& set) {
    for (const TcmSeriesModel& m : set.models) {
        if (!std::isfinite(m.intercept) || !std::isfinite(m.rSquared) || !std::isfinite(m.rmse))
            return false;
        for (const TcmInput& input : m.inputs) {
            for (double c : input.coefficients) {
                if (!std::isfinite(c))
                    return false;
            }
        }
    }
    return true;
}

}  // namespace

// A noise-free recurrence is recovered exactly, x is chosen, the unrelated series is not, and the
// exact fit is never divided by.
TEST(TcmBuild, RecoversANoiseFreeRecurrenceAndSelectsTheTrueInput) {
    // With three lags the noise-free design is singular (y[t-1] = 0.5 y[t-2] + 2 x[t-3]), so the
    // coefficients are identifiable only with two; three lags report x as collinear instead.
    const TsdpResult data = Recurrence(200, 0.0, 7);
    const TcmModelSet singular = FitTcm(data, Settings(3));
    ASSERT_FALSE(singular.models[0].notes.empty());
    EXPECT_NE(singular.models[0].notes[0].find("candidate 1 dropped: its lags are collinear"),
              std::string::npos);
    EXPECT_TRUE(AllFinite(singular));
    const TcmModelSet set = FitTcm(data, Settings(2));
    ASSERT_EQ(set.seriesIds, (std::vector<std::string>{"0", "1", "2"}));
    const TcmSeriesModel& y = ModelOf(set, "0");
    ASSERT_TRUE(y.fitted);
    EXPECT_TRUE(y.target);
    ASSERT_EQ(y.inputs.size(), 2u);
    EXPECT_EQ(y.inputs[0].series, 0u);  // the target's own lags come first
    EXPECT_EQ(y.inputs[1].series, 1u);  // x, not the unrelated series
    const std::vector<double> own{0.5, 0.0};
    const std::vector<double> fromX{0.0, 2.0};
    for (size_t l = 0; l < 2; ++l) {
        EXPECT_NEAR(y.inputs[0].coefficients[l], own[l], 1e-9);
        EXPECT_NEAR(y.inputs[1].coefficients[l], fromX[l], 1e-9);
    }
    EXPECT_NEAR(y.intercept, 0.0, 1e-9);
    EXPECT_NEAR(y.rSquared, 1.0, 1e-12);
    EXPECT_EQ(y.inputs[1].pValue, 0.0);
    // x and the unrelated series are inputs only: autoregressive models of their own.
    EXPECT_FALSE(ModelOf(set, "1").target);
    EXPECT_TRUE(ModelOf(set, "1").fitted);
    EXPECT_EQ(ModelOf(set, "2").inputs.size(), 1u);
    EXPECT_TRUE(AllFinite(set));
}

TEST(TcmBuild, WithNoiseTheTrueInputIsSignificantAndTheUnrelatedOneIsNot) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const TcmModelSet set = FitTcm(Recurrence(300, 0.2, seed), Settings(2));
        const TcmSeriesModel& y = ModelOf(set, "0");
        ASSERT_EQ(y.inputs.size(), 2u) << "seed " << seed;
        EXPECT_EQ(y.inputs[1].series, 1u);
        EXPECT_LT(y.inputs[1].pValue, 1e-10);
        EXPECT_NEAR(y.inputs[1].coefficients[1], 2.0, 0.1);
        EXPECT_GT(y.rSquared, 0.9);
        EXPECT_LT(y.rSquared, 1.0);
    }
}

// Constant and duplicated inputs make singular designs; a short series cannot carry the lags;
// a target that its own lags already fit exactly must not divide by its zero residual variance.
TEST(TcmBuild, SingularShortAndExactDesignsAreReportedNeverNaN) {
    const size_t n = 60;
    std::vector<double> x(n), copy(n), constant(n, 4.0), y(n), ar(n);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (size_t t = 0; t < n; ++t) {
        x[t] = uniform(random);
        copy[t] = x[t];
        y[t] = (t >= 1 ? 0.3 * y[t - 1] + x[t - 1] : 1.0) + 0.1 * uniform(random);
    }
    TcmSettings s;
    s.lags = 2;
    s.targetMetrics = {"y"};
    s.inputMetrics = {"x", "copy", "constant"};
    TcmModelSet set = FitTcm(Series({"y", "x", "copy", "constant"}, {y, x, copy, constant}), s);
    const TcmSeriesModel& target = ModelOf(set, "0");
    ASSERT_EQ(target.inputs.size(), 2u);  // one of x and its copy; never both, never the constant
    EXPECT_TRUE(target.inputs[1].series == 1u || target.inputs[1].series == 2u);
    bool constantDropped = false;
    for (const std::string& note : target.notes)
        constantDropped = constantDropped || note.find("candidate 3 dropped") != std::string::npos;
    EXPECT_TRUE(constantDropped);
    // The constant series' own autoregression is singular: reported, coefficients held at 0.
    const TcmSeriesModel& flat = ModelOf(set, "3");
    ASSERT_TRUE(flat.fitted);
    EXPECT_FALSE(flat.notes.empty());
    EXPECT_TRUE(AllFinite(set));

    // A pure autoregression fits exactly: no candidate may enter on a 0/0 statistic.
    for (size_t t = 1; t < n; ++t)
        ar[t] = 0.9 * ar[t - 1] + (t == 1 ? 1.0 : 0.0);
    ar[0] = 1.0;
    for (size_t t = 1; t < n; ++t)
        ar[t] = 0.9 * ar[t - 1];
    s.targetMetrics = {"ar"};
    s.inputMetrics = {"x"};
    set = FitTcm(Series({"ar", "x"}, {ar, x}), s);
    EXPECT_EQ(ModelOf(set, "0").inputs.size(), 1u);
    EXPECT_TRUE(AllFinite(set));

    // Five points cannot carry three lags and a residual.
    s.lags = 3;
    set = FitTcm(Series({"ar", "x"}, {std::vector<double>(ar.begin(), ar.begin() + 5),
                                      std::vector<double>(x.begin(), x.begin() + 5)}),
                 s);
    EXPECT_FALSE(ModelOf(set, "0").fitted);
    ASSERT_FALSE(ModelOf(set, "0").notes.empty());
    EXPECT_NE(ModelOf(set, "0").notes[0].find("too short"), std::string::npos);
}

TEST(TcmBuild, ArchiveDocumentsDescribeTheGraphAndTheDataModel) {
    const TsdpResult data = Recurrence(100, 0.0, 5);
    const TcmModelSet set = FitTcm(data, Settings(2));
    const Json graph = TcmGraphDocument(set, data);
    ASSERT_EQ(graph["targets"].size(), 1u);
    EXPECT_EQ(graph["targets"][0]["series"], "0");
    EXPECT_EQ(graph["targets"][0]["predictorIndexSet"], Json({0, 1}));
    EXPECT_EQ(graph["targets"][0]["predictors"][1]["series"], "1");
    EXPECT_EQ(graph["targets"][0]["predictors"][1]["lags"], Json({1, 2}));
    EXPECT_NEAR(graph["targets"][0]["predictors"][1]["weights"][1].get<double>(), 2.0, 1e-9);

    const Json model = TcmModelDocument(set, data);
    EXPECT_EQ(model["models"][0]["kind"], "tcm");
    EXPECT_EQ(model["models"][1]["kind"], "ar");

    const std::string xml = TcmStatXml(data);
    const size_t start = xml.find("<DataModel>");
    ASSERT_NE(start, std::string::npos);
    // The data model is the last section: a reader may cut from it to "</StatXML>".
    EXPECT_EQ(xml.find("</DataModel>") + std::string("</DataModel>\n</StatXML>\n").size(),
              xml.size());
    EXPECT_NE(xml.find("name=\"metricField\""), std::string::npos);
    EXPECT_LT(xml.find("value=\"y\""), xml.find("value=\"noise\""));
}

TEST(TcmBuild, BadModelSettingsAreRejected) {
    EXPECT_THROW(ParseTcmSettings(Json{{"lags", 0}}), EngineError);
    EXPECT_THROW(ParseTcmSettings(Json{{"significanceLevel", 1.5}}), EngineError);
    EXPECT_THROW(ParseTcmSettings(Json{{"maxInputs", "3"}}), EngineError);
    TcmSettings s;
    s.targetMetrics = {"absent"};
    EXPECT_THROW(FitTcm(Recurrence(50, 0.0, 1), s), EngineError);
}

// The job text of a model build through the engine's pipeline: the archive holds its four entries
// and a failed build leaves no archive.
TEST(TcmBuild, JobWritesTheWholeArchiveOrNothing) {
    const std::string input = enginetest::SharedData("iowa-electricity.csv");
    const std::string archive = qetest::TestDir() + "/model.zip";
    const Json reader{
        {"filesystem",
         {{"locations",
           Json::array({{{"path", "file:///" + input},
                         {"parser", {{"name", "csv"}, {"config", Json::object()}}}}})}}}};
    Json conf{{"dimFieldList", {"source"}},
              {"metricFieldList", {"net_generation"}},
              {"dateTimeField", "year"},
              {"timeInterval", {{"unit", "years"}}},
              {"lags", 2}};
    const Json outputs =
        Json::array({{{"export", true}, {"name", "TCM"}, {"uri", "file:///" + archive}}});
    JobEnvironment env;
    std::vector<std::string> messages;
    env.message = [&](const std::string&, const std::string& text) { messages.push_back(text); };
    RunPipelines(
        {{EngineStep{"", "read", {reader}, 0}, EngineStep{"tcm", "build", {conf, outputs}, 0}}},
        env);
    EXPECT_EQ(enginetest::ZipEntryNames(archive),
              (std::vector<std::string>{"TSDPOutput.json", "StatXML.xml", "TCMGraph.json",
                                        "TCMModel.json"}));
    const Json graph = Json::parse(enginetest::ReadZipEntry(archive, "TCMGraph.json").value());
    EXPECT_EQ(graph["series"].size(), 3u);  // one series per source
    EXPECT_FALSE(messages.empty());

    std::filesystem::remove(archive);
    conf["lags"] = 20;  // seventeen years cannot carry twenty lags: reported, archive written
    RunPipelines(
        {{EngineStep{"", "read", {reader}, 0}, EngineStep{"tcm", "build", {conf, outputs}, 0}}},
        env);
    const Json model = Json::parse(enginetest::ReadZipEntry(archive, "TCMModel.json").value());
    EXPECT_FALSE(model["models"][0]["fitted"].get<bool>());

    std::filesystem::remove(archive);
    conf["metricFieldList"] = {"absent"};
    EXPECT_THROW(RunPipelines({{EngineStep{"", "read", {reader}, 0},
                                EngineStep{"tcm", "build", {conf, outputs}, 0}}},
                              env),
                 EngineError);
    EXPECT_FALSE(std::filesystem::exists(archive));
}
