// Applying a temporal causal model archive through whole job texts, as the library sends them:
// model capabilities, scoring with forecasts, re-preparation with the future flag, impact
// diagrams, and the failures of each.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/QebfFile.h"
#include "qeinteg/platform/engine/io/ZipOutput.h"
#include "qeinteg/platform/engine/job/LocalJob.h"

using namespace qelocal;
using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

struct JobResult {
    std::string error;  // empty on success
    std::vector<WrittenOutput> outputs;
};

JobResult RunJob(const std::string& job) {
    enginetest::RecordingListener listener;
    ListenerEvents events(&listener, 0, nullptr);
    CancelSignal cancel;
    JobResult result;
    ExecuteLocalJob(job, {}, {}, {}, cancel, events, &result.outputs);
    const auto endings = listener.endings();
    if (endings.size() != 1 || endings[0] != "success")
        result.error = listener.errorText.empty() ? "failed" : listener.errorText;
    return result;
}

std::string Descriptor(const std::string& name, const std::string& path, bool exported) {
    Json d = Json::object();
    if (exported)
        d["export"] = true;
    d["name"] = name;
    d["uri"] = Uri(path);
    return d.dump();
}

std::string ReaderConf(const std::string& data, const std::string& model, const char* parser) {
    Json location{{"path", Uri(data)}, {"parser", {{"name", parser}, {"config", Json::object()}}}};
    Json fsConf{{"locations", Json::array({location})}};
    if (!model.empty())
        fsConf = Json{{"dataModel", Uri(model)}, {"locations", Json::array({location})}};
    return "val readerConf = " + Json{{"filesystem", fsConf}}.dump() + "\n";
}

// The records of a QEBF file: per field name, its values (NaN for missing).
std::map<std::string, std::vector<double>> ReadQebf(const std::string& path,
                                                    std::vector<std::string>* texts = nullptr) {
    QebfRowSource source(path);
    std::map<std::string, std::vector<double>> columns;
    while (source.next()) {
        for (size_t f = 0; f < source.fields().size(); ++f) {
            const Cell cell = source.cell(f);
            if (source.fields()[f].storage == Storage::String) {
                if (texts != nullptr && f == 0)
                    texts->emplace_back(cell.text);
                continue;
            }
            columns[source.fields()[f].name].push_back(cell.missing ? NAN : cell.number);
        }
    }
    return columns;
}

// A model built by tcm:build from data, its data prepared by tsdp:tsdp, in a fresh directory.
class ModelFixture {
  public:
    ModelFixture(const std::string& csv, const Json& configuration)
        : dir_(qetest::TestDir() + "/tcmscore"), configuration_(configuration) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string reader = ReaderConf(csv, "", "csv");
        const JobResult build =
            RunJob(reader + "val conf = " + configuration.dump() + "\nval out = [" +
                   Descriptor("TCM", model(), true) + "]\nread(readerConf)->tcm:build(conf,_,out)");
        EXPECT_EQ(build.error, "");
        const JobResult prepare =
            RunJob(reader + "val tsdpOutConf = [" + Descriptor("JSON", tsdpOut(), true) +
                   "]\nval tsdpConf = " + configuration.dump() + "\nval writerConf = " +
                   Json{{"dataDestination", Uri(data())},
                        {"dataModelDestination", Uri(dataModel())},
                        {"type", "qebf"}}
                       .dump() +
                   "\nread(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)");
        EXPECT_EQ(prepare.error, "");
    }
    std::string model() const { return dir_ + "/model.zip"; }
    std::string tsdpOut() const { return dir_ + "/json.zip"; }
    std::string data() const { return dir_ + "/data.qebf"; }
    std::string dataModel() const { return dir_ + "/data.xml"; }
    std::string scored() const { return dir_ + "/scored.qebf"; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // The scoring job of a scenario, line for line as the library writes it.
    std::string ScoreJob(const char* function, const Json& scoreConf,
                         const std::string& modelPath = "") const {
        return ReaderConf(data(), dataModel(), "qebf") + "val scoreConf = " + scoreConf.dump() +
               "\n" + "val scoreInConf = [" +
               Json{{"name", "InputTCMXML"}, {"uri", modelPath.empty() ? model() : modelPath}}
                   .dump() +
               "]\n" + "val rtsdpConf = " + Json{{"exportFutureFlag", true}}.dump() + "\n" +
               "val rtsdpInConf = [" + Descriptor("JSON", tsdpOut(), false) + "]\n" +
               "val writerConf = " +
               Json{{"dataDestination", Uri(scored())},
                    {"dataModelDestination", Uri(scored() + ".xml")},
                    {"type", "qebf"}}
                   .dump() +
               "\n" + "read(readerConf)->" + function +
               "(scoreConf, scoreInConf,_)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)->write("
               "writerConf)";
    }

    Json Entry(const std::string& name) const {
        return Json::parse(enginetest::ReadZipEntry(model(), name).value());
    }

  private:
    std::string dir_;
    Json configuration_;
};

Json ScoreSettings(const std::vector<std::string>& series, int span, bool isTcm) {
    Json conf = Json::object();
    Json setting = Json::object();
    if (isTcm)
        setting["fieldType"] = "INCLUDED_TARGET_LIST";
    setting["fieldNameList"] = {{"seriesIDList", Json::array({series})}};
    conf["fieldSetting"] = setting;
    if (span > 0) {
        Json forecast = Json::object();
        if (isTcm)
            forecast["doForecast"] = true;
        forecast["forecastSpan"] = span;
        conf["forecast"] = forecast;
    }
    if (isTcm)
        conf["fit"] = {{"doFit", true}};
    conf["outputOriginalValue"] = true;
    return conf;
}

// Monthly series from January 2000: x is noise, y[t] = 0.5 y[t-1] + 2 x[t-2] exactly.
struct Recurrence {
    std::vector<double> x, y;
    std::string csv;
};

Recurrence WriteRecurrence(const std::string& path, size_t n) {
    Recurrence r;
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::ofstream out(path);
    out << "month,y,x\n";
    for (size_t t = 0; t < n; ++t) {
        r.x.push_back(uniform(random));
        r.y.push_back(t >= 2 ? 0.5 * r.y[t - 1] + 2.0 * r.x[t - 2] : uniform(random));
        char month[48];
        std::snprintf(month, sizeof month, "%04zu-%02zu-01", 2000 + t / 12, t % 12 + 1);
        out << month << ',' << Json(r.y[t]).dump() << ',' << Json(r.x[t]).dump() << '\n';
    }
    r.csv = path;
    return r;
}

const Json kRecurrenceModel{{"dimFieldList", Json::array()},
                            {"metricFieldList", {"y", "x"}},
                            {"dateTimeField", "month"},
                            {"timeInterval", {{"unit", "months"}}},
                            {"lags", 2},
                            {"targetFieldList", {"y"}},
                            {"inputFieldList", {"x"}}};

}  // namespace

// The forecasts of y over 12 months follow the recurrence through x's own autoregression; the
// fitted values reproduce y; "$FutureFlag" is 1 exactly on the 12 forecast months, which follow
// the last observed month; the output is reachable as the job's written output.
TEST(TcmScore, ForecastsFollowTheRecurrenceAndOnlyForecastMonthsAreFlagged) {
    const size_t n = 120;
    const Recurrence r = WriteRecurrence(qetest::TestDir() + "/recurrence.csv", n);
    const ModelFixture model(r.csv, kRecurrenceModel);
    const JobResult run = RunJob(model.ScoreJob("tcm:score", ScoreSettings({"0"}, 12, true)));
    ASSERT_EQ(run.error, "");
    ASSERT_EQ(run.outputs.size(), 1u);
    EXPECT_EQ(run.outputs[0].dataPath, model.scored());

    // x's forecasts from its autoregressive model in the archive.
    const Json models = model.Entry("TCMModel.json")["models"];
    ASSERT_EQ(models[1]["kind"], "ar");
    const double c = models[1]["intercept"].get<double>();
    const double a1 = models[1]["inputs"][0]["coefficients"][0].get<double>();
    const double a2 = models[1]["inputs"][0]["coefficients"][1].get<double>();
    std::vector<double> x = r.x, y = r.y;
    for (size_t t = n; t < n + 12; ++t) {
        x.push_back(c + a1 * x[t - 1] + a2 * x[t - 2]);
        y.push_back(0.5 * y[t - 1] + 2.0 * x[t - 2]);
    }

    auto columns = ReadQebf(model.scored());
    ASSERT_EQ(columns["$FutureFlag"].size(), n + 12);
    for (size_t t = 0; t < n + 12; ++t) {
        EXPECT_EQ(columns["$FutureFlag"][t], t < n ? 0.0 : 1.0) << t;
        const CivilDate month = CivilFromDays(static_cast<int64_t>(columns["month"][t]));
        EXPECT_EQ(month.year * 12 + month.month - 1, 2000 * 12 + static_cast<int64_t>(t)) << t;
        if (t < n) {
            EXPECT_EQ(columns["y"][t], r.y[t]);
            if (t >= 2) {
                EXPECT_NEAR(columns["y_predicted"][t], r.y[t], 1e-9) << t;
            }
        } else {
            EXPECT_TRUE(std::isnan(columns["y"][t]));
            EXPECT_NEAR(columns["y_predicted"][t], y[t], 1e-9) << t;
        }
    }
    EXPECT_TRUE(std::isnan(columns["y_predicted"][0]));  // no lags before the first month

    // The predictor alone, through its autoregression; without "fit" the past has no predictions.
    ASSERT_EQ(RunJob(model.ScoreJob("tcm:ar", ScoreSettings({"1"}, 12, false))).error, "");
    columns = ReadQebf(model.scored());
    ASSERT_EQ(columns["x_predicted"].size(), n + 12);
    EXPECT_TRUE(std::isnan(columns["x_predicted"][n - 1]));
    for (size_t t = n; t < n + 12; ++t)
        EXPECT_NEAR(columns["x_predicted"][t], x[t], 1e-12);
}

// Series named by dimension values (texts and numbers): each series keeps its own records; a target
// is scored through the other sources' forecasts.
TEST(TcmScore, TextAndNumericDimensionsSelectTheSeriesOfEachRecord) {
    const ModelFixture model(enginetest::SharedData("iowa-electricity.csv"),
                             Json{{"dimFieldList", {"source"}},
                                  {"metricFieldList", {"net_generation"}},
                                  {"dateTimeField", "year"},
                                  {"timeInterval", {{"unit", "years"}}},
                                  {"lags", 1}});
    const Json graph = model.Entry("TCMGraph.json");
    ASSERT_EQ(graph["series"][2]["id"], "2-0");
    ASSERT_EQ(graph["series"][2]["dimensionValues"][0], "Renewables");
    const std::string id = graph["targets"][0]["series"].get<std::string>();
    ASSERT_EQ(RunJob(model.ScoreJob("tcm:score", ScoreSettings({id}, 12, true))).error, "");
    std::vector<std::string> sources;
    auto columns = ReadQebf(model.scored(), &sources);
    ASSERT_EQ(sources.size(), 17u + 12u);
    const size_t position = std::stoul(id.substr(0, id.find('-')));
    const char* names[] = {"Fossil Fuels", "Nuclear Energy", "Renewables"};
    for (const std::string& source : sources)
        EXPECT_EQ(source, names[position]);
    size_t predicted = 0;
    for (size_t t = 17; t < 29; ++t)
        predicted += std::isfinite(columns["net_generation_predicted"][t]) ? 1 : 0;
    EXPECT_EQ(predicted, 12u);
    // The observed values of the series are the dataset's, in year order.
    const auto csv = enginetest::ReadPlainCsv(enginetest::SharedData("iowa-electricity.csv"));
    std::vector<double> expected;
    for (size_t row = 1; row < csv.size(); ++row) {
        if (csv[row][1] == names[position])
            expected.push_back(std::stod(csv[row][2]));
    }
    ASSERT_EQ(expected.size(), 17u);
    for (size_t t = 0; t < 17; ++t)
        EXPECT_EQ(columns["net_generation"][t], expected[t]);

    // Numeric dimension values are compared as numbers: region 20 is position 1.
    const std::string numeric = qetest::TestDir() + "/regions.csv";
    {
        std::ofstream out(numeric);
        out << "region,month,y,x\n";
        for (int region : {20, 10}) {
            for (int t = 0; t < 36; ++t) {
                out << region << ",20" << 10 + t / 12 << '-' << (t % 12 < 9 ? "0" : "")
                    << t % 12 + 1 << "-01," << region * 100 + t * t % 7 << ',' << (t * 5) % 11
                    << '\n';
            }
        }
    }
    Json conf = kRecurrenceModel;
    conf["dimFieldList"] = {"region"};
    conf["lags"] = 1;
    const ModelFixture regions(numeric, conf);
    ASSERT_EQ(RunJob(regions.ScoreJob("tcm:ar", ScoreSettings({"1-1"}, 3, false))).error, "");
    columns = ReadQebf(regions.scored());
    ASSERT_EQ(columns["region"].size(), 39u);
    for (size_t t = 0; t < 39; ++t)
        EXPECT_EQ(columns["region"][t], 20.0);
    EXPECT_EQ(columns["x"][35], (35 * 5) % 11);
}

// Unknown series, a target sent to tcm:ar, a span beyond the model, a model of another kind, a
// file that is no archive and a dataset without a field all fail with a message that names the
// cause, and leave no output file, not even one that an earlier line of the job finished.
TEST(TcmScore, BadRequestsFailWithAMessageAndLeaveNoOutput) {
    const Recurrence r = WriteRecurrence(qetest::TestDir() + "/recurrence.csv", 60);
    const ModelFixture model(r.csv, kRecurrenceModel);
    const std::string notAnArchive = model.path("plain.zip");
    std::ofstream(notAnArchive) << "not a zip";
    struct Case {
        std::string job;
        std::string message;
    };
    const std::vector<Case> cases{
        {model.ScoreJob("tcm:score", ScoreSettings({"7"}, 12, true)),
         "the model has no series '7'"},
        {model.ScoreJob("tcm:ar", ScoreSettings({"0"}, 12, false)),
         "series 0 (y) is a target; score it with tcm:score"},
        {model.ScoreJob("tcm:score", ScoreSettings({"0"}, 61, true)),
         "a forecast span of 61 periods is beyond the 60 the model allows"},
        {model.ScoreJob("tcm:score", ScoreSettings({"0"}, 12, true), model.tsdpOut()),
         "is not a temporal causal model: it has no TCMGraph.json"},
        {model.ScoreJob("tcm:score", ScoreSettings({"0"}, 12, true), notAnArchive),
         "cannot open " + notAnArchive + " as a zip archive"},
        {model.ScoreJob("tcm:score", ScoreSettings({}, 12, true)),
         "\"seriesIDList\" names no series"},
    };
    for (const Case& c : cases) {
        const JobResult run = RunJob(c.job);
        EXPECT_NE(run.error.find(c.message), std::string::npos) << run.error;
        EXPECT_FALSE(fs::exists(model.scored())) << c.message;
    }
    // A write that finished on an earlier line is taken back when a later line fails.
    const std::string copy = model.path("copy.qebf");
    const std::string failing = model.ScoreJob("tcm:score", ScoreSettings({"7"}, 12, true));
    const size_t lastLine = failing.rfind('\n') + 1;
    const JobResult partial =
        RunJob(failing.substr(0, lastLine) +
               "val copyConf = " + Json{{"dataDestination", Uri(copy)}, {"type", "qebf"}}.dump() +
               "\nread(readerConf)->write(copyConf)\n" + failing.substr(lastLine));
    EXPECT_NE(partial.error.find("the model has no series '7'"), std::string::npos);
    EXPECT_FALSE(fs::exists(copy));
    // The dataset lacks the predictor's field: the raw file instead of the prepared one.
    std::ofstream(model.path("short.csv")) << "month,y\n2000-01-01,1\n";
    std::string job = model.ScoreJob("tcm:score", ScoreSettings({"0"}, 12, true));
    job = ReaderConf(model.path("short.csv"), "", "csv") + job.substr(job.find('\n') + 1);
    const JobResult run = RunJob(job);
    EXPECT_NE(run.error.find("the input has no field 'x'"), std::string::npos) << run.error;
    EXPECT_FALSE(fs::exists(model.scored()));
}

// Model capabilities: three documents that read back as data models and properties; a request
// without "isModelCapabilities" and an archive of another kind write nothing.
TEST(TcmScore, ModelCapabilitiesDescribeInputOutputAndLimits) {
    const Recurrence r = WriteRecurrence(qetest::TestDir() + "/recurrence.csv", 48);
    const ModelFixture model(r.csv, kRecurrenceModel);
    const std::string out = model.path("capabilities.zip");
    auto job = [&](const Json& conf, const std::string& archive) {
        return "val scoringConf = " + conf.dump() + "\nval inCon = [" +
               Json{{"name", "InputPMML"}, {"uri", "file:///" + archive}}.dump() +
               "]\nval outCon = [" + Descriptor("ModelCapabilities", out, true) +
               "]\nscoring:scoring(scoringConf, inCon, outCon)";
    };
    ASSERT_EQ(RunJob(job(Json{{"isModelCapabilities", true}}, model.model())).error, "");
    const auto input =
        ParseDataModelXml(enginetest::ReadZipEntry(out, "ScoreInputDataModel.xml").value());
    const auto output =
        ParseDataModelXml(enginetest::ReadZipEntry(out, "ScoreOutputDataModel.xml").value());
    std::vector<std::string> inputNames, outputNames;
    for (const auto& f : input)
        inputNames.push_back(f.name);
    for (const auto& f : output)
        outputNames.push_back(f.name);
    EXPECT_EQ(inputNames, (std::vector<std::string>{"month", "y", "x"}));
    EXPECT_EQ(outputNames, (std::vector<std::string>{"month", "y", "y_predicted", "x",
                                                     "x_predicted", "$FutureFlag"}));
    const std::string properties = enginetest::ReadZipEntry(out, "ScoreModelProp.xml").value();
    EXPECT_NE(properties.find("<maxForecastSpan>48</maxForecastSpan>"), std::string::npos);
    EXPECT_NE(properties.find("<series id=\"0\" name=\"y\" metric=\"y\" kind=\"tcm\""),
              std::string::npos)
        << properties;

    fs::remove(out);
    EXPECT_NE(RunJob(job(Json{{"isModelCapabilities", false}}, model.model()))
                  .error.find("only \"isModelCapabilities\": true is supported"),
              std::string::npos);
    EXPECT_NE(RunJob(job(Json{{"isModelCapabilities", true}}, model.tsdpOut()))
                  .error.find("is not a temporal causal model"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(out));
}

// The impact diagram of y lists x as its cause at lag 2 (with and without data); x's effects list
// y; the document holds a table the renderer accepts; an unknown series fails.
TEST(TcmScore, ImpactDiagramListsTheCauseWithItsLag) {
    const Recurrence r = WriteRecurrence(qetest::TestDir() + "/recurrence.csv", 80);
    const ModelFixture model(r.csv, kRecurrenceModel);
    const std::string out = model.path("stat.zip");
    auto settings = [](const std::vector<std::string>& targets, int level) {
        Json target = Json::array({targets});
        return Json{{"artifacts", Json::array({{{"name", "interpretation.ImpactDiagramEffects"},
                                                {"target", target},
                                                {"level", level}},
                                               {{"name", "interpretation.ImpactDiagramCauses"},
                                                {"target", target},
                                                {"level", level}}})},
                    {"locale", "en_US"},
                    {"timeFormat", "hh:mm:ss"},
                    {"isEncoded", false}};
    };
    auto lines = [&](const Json& conf) {
        return "val outputConf = " + conf.dump() + "\n" + "val inputCons = [" +
               Json{{"name", "TCM"}, {"uri", "file:///" + model.model()}}.dump() + "]\n" +
               "val outputCons = [" + Descriptor("tcmStatJson", out, true) + "]\n";
    };
    const std::string modelOnly =
        lines(settings({"y"}, 1)) +
        "OutputComponent:TCMOutputComponent(outputConf,inputCons,outputCons)";
    const std::string withData =
        ReaderConf(model.data(), model.dataModel(), "qebf") +
        "val rtsdpConf = " + Json{{"exportFutureFlag", true}}.dump() + "\nval rtsdpInConf = [" +
        Json{{"name", "JSON"}, {"uri", "file:///" + model.tsdpOut()}}.dump() + "]\n" +
        lines(settings({"x", "0"}, 2)) +
        "read(readerConf)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)"
        "->OutputComponent:TCMOutputComponent(outputConf, inputCons, outputCons)";

    ASSERT_EQ(RunJob(modelOnly).error, "");
    Json stat = Json::parse(enginetest::ReadZipEntry(out, "statJson.json").value());
    const Json& causes = stat["interpretation"]["ImpactDiagramCauses"];
    ASSERT_EQ(causes["diagrams"].size(), 1u);
    ASSERT_EQ(causes["diagrams"][0]["links"].size(), 1u);
    const Json& link = causes["diagrams"][0]["links"][0];
    EXPECT_EQ(link["from"], "1");
    EXPECT_EQ(link["to"], "0");
    EXPECT_EQ(link["lag"], 2);
    EXPECT_NEAR(link["coefficient"].get<double>(), 2.0, 1e-9);
    EXPECT_EQ(link["pValue"], 0.0);
    // y drives nothing: one placeholder row of empty cells.
    const Json& effectsTable = stat["interpretation"]["ImpactDiagramEffects"]["table"];
    EXPECT_EQ(effectsTable["dimensions"][0]["children"][0]["children"].size(), 1u);
    EXPECT_EQ(effectsTable["cells"][0]["cells"]["compactCells"]["value"],
              Json::array({"", "", "", ""}));
    const Json& causesTable = causes["table"];
    EXPECT_EQ(causesTable["dimensions"][0]["children"][0]["children"][0]["text"]["text"]
                         ["stringText"]["value"],
              "x -> y");
    EXPECT_EQ(causesTable["cells"][0]["cells"]["compactCells"]["value"].size(), 4u);

    ASSERT_EQ(RunJob(withData).error, "");
    stat = Json::parse(enginetest::ReadZipEntry(out, "statJson.json").value());
    const Json& effects = stat["interpretation"]["ImpactDiagramEffects"]["diagrams"];
    ASSERT_EQ(effects.size(), 2u);  // x (by its name), then y (by its identifier)
    ASSERT_EQ(effects[0]["links"].size(), 1u);
    EXPECT_EQ(effects[0]["links"][0]["to"], "0");
    EXPECT_EQ(effects[0]["links"][0]["lag"], 2);

    fs::remove(out);
    EXPECT_NE(RunJob(lines(settings({"z"}, 1)) +
                     "OutputComponent:TCMOutputComponent(outputConf,inputCons,outputCons)")
                  .error.find("the model has no series 'z'"),
              std::string::npos);
    EXPECT_NE(RunJob(lines(settings({"y"}, 0)) +
                     "OutputComponent:TCMOutputComponent(outputConf,inputCons,outputCons)")
                  .error.find("the level must be at least 1"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(out));
}

// With cyclic time fields the forecast months wrap at the end of the year and carry into it.
TEST(TcmScore, CyclicForecastPeriodsWrapIntoTheNextYear) {
    const std::string csv = qetest::TestDir() + "/cyclic.csv";
    {
        std::ofstream out(csv);
        out << "year,month,y,x\n";
        std::mt19937_64 random(5);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> x, y;
        for (size_t t = 0; t < 60; ++t) {
            x.push_back(uniform(random));
            y.push_back(t >= 2 ? 0.5 * y[t - 1] + 2.0 * x[t - 2] : uniform(random));
            // Five years ending in May: the forecast runs June to December, then into next year.
            out << 2000 + (t + 5) / 12 << ',' << (t + 5) % 12 + 1 << ',' << Json(y[t]).dump() << ','
                << Json(x[t]).dump() << '\n';
        }
    }
    Json conf = kRecurrenceModel;
    conf.erase("dateTimeField");
    conf.erase("timeInterval");
    conf["cyclicFieldList"] = {"year", "month"};
    const ModelFixture model(csv, conf);
    ASSERT_EQ(RunJob(model.ScoreJob("tcm:score", ScoreSettings({"0"}, 12, true))).error, "");
    auto columns = ReadQebf(model.scored());
    ASSERT_EQ(columns["year"].size(), 72u);
    for (size_t t = 0; t < 72; ++t) {
        EXPECT_EQ(columns["year"][t], static_cast<double>(2000 + (t + 5) / 12)) << t;
        EXPECT_EQ(columns["month"][t], static_cast<double>((t + 5) % 12 + 1)) << t;
        EXPECT_EQ(columns["$FutureFlag"][t], t < 60 ? 0.0 : 1.0);
    }
}

// Re-preparation puts each combination on the time points: a point without a record gets one with
// only its dimensions and time, a record between points is dropped, later records are flagged.
TEST(TcmScore, RepreparationFillsMissingTimePointsAndFlagsOnlyLaterRecords) {
    const std::string archive = qetest::TestDir() + "/points.zip";
    const Json settings{{"dimFieldList", {"g"}},
                        {"metricFieldList", {"v"}},
                        {"cyclicFieldList", {"$casecount"}},
                        {"timeVariable", {{"$casecount", {1, 2, 3, 4}}}}};
    WriteZipArchive(archive, {{"TSDPOutput.json", Json{{"settings", settings}}.dump()}});
    std::vector<EngineField> fields(3);
    fields[0] = {"g", Storage::String, Measure::Nominal};
    fields[1] = {"$casecount", Storage::Real, Measure::Continuous};
    fields[2] = {"v", Storage::Real, Measure::Continuous};
    enginetest::MemoryIterator rows("in", fields,
                                    {{"b", "2", "20"},
                                     {"a", "1", "1"},
                                     {"a", "4", "4"},
                                     {"a", "2.5", "99"},
                                     {"a", "6", "6"},
                                     {"a", "5", "5"},
                                     {"b", "5", "50"}});
    const std::string out = qetest::TestDir() + "/points.csv";
    JobEnvironment env;
    env.inputIterators = {&rows};
    RunPipelines(
        {{EngineStep{"", "read", {Json{{"dataSource", "in"}}}, 1},
          EngineStep{"rtsdp",
                     "rtsdp",
                     {Json{{"exportFutureFlag", true}},
                      Json::array({{{"name", "JSON"}, {"uri", Uri(archive)}}})},
                     1},
          EngineStep{"", "write", {Json{{"dataDestination", out}, {"type", "text/csv"}}}, 1}}},
        env);
    const auto csv = enginetest::ReadPlainCsv(out);
    const std::vector<std::vector<std::string>> expected{{"g", "$casecount", "v", "$FutureFlag"},
                                                         {"b", "1", "", "0"},
                                                         {"b", "2", "20", "0"},
                                                         {"b", "3", "", "0"},
                                                         {"b", "4", "", "0"},
                                                         {"b", "5", "50", "1"},
                                                         {"a", "1", "1", "0"},
                                                         {"a", "2", "", "0"},
                                                         {"a", "3", "", "0"},
                                                         {"a", "4", "4", "0"},
                                                         {"a", "5", "5", "1"},
                                                         {"a", "6", "6", "1"}};
    EXPECT_EQ(csv, expected);
}
