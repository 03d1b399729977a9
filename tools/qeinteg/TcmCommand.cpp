#include "TcmCommand.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "TcmModelCommand.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/stats/TimeIntervals.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

using Json = nlohmann::ordered_json;

void Usage(FILE* out) {
    std::fputs(
        "usage: qeinteg tcm build DATA.csv --time FIELD --metrics M1,M2 [options] -o MODEL.zip\n"
        "       qeinteg tcm prepare MODEL.zip DATA.csv -o PREPARED.csv\n"
        "       qeinteg tcm capabilities MODEL.zip [--json]\n"
        "       qeinteg tcm impact MODEL.zip --series S [--level N] [--data DATA.csv] [--html FILE]"
        " [--json]\n"
        "       qeinteg tcm scenario MODEL.zip DATA.csv --metric M [--dims FIELD=VALUE,...]"
        " --from S --to E [--json]\n"
        "build a temporal causal model, prepare data the model's way, show what a model can do,\n"
        "its impact diagrams, or score a series forward (qeinteg tcm SUBCOMMAND --help).\n",
        out);
}

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

Json CsvReader(const std::string& path) {
    return Json{
        {"filesystem",
         {{"locations",
           Json::array({{{"path", Uri(path)},
                         {"parser", {{"name", "csv"}, {"config", {{"hasHeader", true}}}}}}})}}}};
}

// The interval of `field` as the data shows it; empty when it cannot be told.
std::string DetectUnit(const std::string& path, const std::string& field, std::string& error) {
    try {
        qelocal::CsvRowSource source(path, true, std::nullopt);
        const auto& fields = source.fields();
        size_t index = fields.size();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].name == field)
                index = i;
        }
        if (index == fields.size()) {
            error = "the time field '" + field + "' is not in the file";
            return "";
        }
        qelocal::TimePointCollector collector(fields[index], true);
        while (source.next())
            collector.add(source.cell(index));
        const qelocal::TimeIntervalResult result = collector.finish();
        if (result.shape.unit == qelocal::TimeUnit::None) {
            error = "cannot detect the interval of '" + field + "'" +
                    (result.error.empty() ? "" : " (" + result.error + ")") + "; give --interval";
            return "";
        }
        return qelocal::TimeUnitText(result.shape.unit);
    } catch (const std::exception& e) {
        error = e.what();
        return "";
    }
}

// Runs a job on a runner with a procedure; false with the first message of the run in `error`.
bool RunJob(const std::string& job, std::string& error) {
    if (JNIObjectManager::getManager()->getEnv() == nullptr) {
        error = "could not start the Java VM";
        return false;
    }
    bool ok = false;
    {
        PnProcedure procedure("tcm");
        QERunner runner(&procedure);
        try {
            ok = runner.prepareQELJob(job) && runner.execute();
        } catch (...) {
            ok = false;
        }
        runner.displayAllMessages(true);
        runner.cleanExecution();
    }
    if (!ok) {
        const auto errors = qehost::HostOutput::instance().errors();
        error = "the engine job failed";
        for (auto it = errors.rbegin(); it != errors.rend(); ++it) {
            if (it->level > 0 || it == errors.rend() - 1) {
                error += ": " + it->text;
                break;
            }
        }
    }
    return ok;
}

// A whole number from an option's text; nothing when the text is not one.
std::optional<int> WholeNumber(const std::string& text) {
    try {
        size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size())
            return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

int Build(int argc, char** argv) {
    qecli::CommandLine cli("tcm build",
                           "DATA.csv --time FIELD --metrics M1,M2 [options] -o MODEL.zip",
                           "build a temporal causal model archive from a CSV file");
    std::vector<std::string> files, aggregates;
    std::string time, dimText, metricText, interval, lagsText, maxInputsText, levelText, targetText,
        inputText, output;
    cli.Option("--time", "FIELD", time, "the date/time field (ISO dates or timestamps)");
    cli.Option("--dims", "A,B", dimText,
               "dimension fields (one series per combination and metric)");
    cli.Option("--metrics", "M1,M2", metricText, "metric fields");
    cli.Option(
        "--interval", "UNIT", interval,
        "years, quarters, months, weeks, days, hours, minutes or seconds (default: detected)");
    cli.Repeated("--aggregate", "M=HOW", aggregates,
                 "sum (default), mean, min, max, count, first or last; repeatable");
    cli.Option("--lags", "L", lagsText, "lags 1..L of every input (default 3)");
    cli.Option("--targets", "M1,M2", targetText, "metrics whose series are targets (default: all)");
    cli.Option("--inputs", "M1,M2", inputText, "metrics whose series are candidate inputs");
    cli.Option("--level", "A", levelText, "significance level of the selection (default 0.05)");
    cli.Option("--max-inputs", "N", maxInputsText, "inputs per target besides itself (default 3)");
    cli.Option("-o", "MODEL.zip", output, "the model archive to write");
    cli.Option("--output", "MODEL.zip", output, "the same as -o");
    bool json = false;
    cli.Flag("--json", json, "print {\"model\": PATH} instead of a line");
    cli.Positionals(files, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string file = files[0];
    const std::vector<std::string> dims = qecli::SplitList(dimText);
    const std::vector<std::string> metrics = qecli::SplitList(metricText);
    const std::vector<std::string> targets = qecli::SplitList(targetText);
    const std::vector<std::string> inputs = qecli::SplitList(inputText);
    Json aggregation = Json::object();
    Json model = Json::object();
    for (const std::string& value : aggregates) {
        const size_t eq = value.find('=');
        if (eq == std::string::npos || eq == 0)
            return cli.UsageError("--aggregate takes METRIC=METHOD, not " + value);
        aggregation[value.substr(0, eq)] = value.substr(eq + 1);
    }
    if (!lagsText.empty()) {
        const auto lags = WholeNumber(lagsText);
        if (!lags)
            return cli.Failure("", "--lags takes a number, not '" + lagsText + "'");
        model["lags"] = *lags;
    }
    if (!maxInputsText.empty()) {
        const auto maxInputs = WholeNumber(maxInputsText);
        if (!maxInputs)
            return cli.Failure("", "--max-inputs takes a number, not '" + maxInputsText + "'");
        model["maxInputs"] = *maxInputs;
    }
    if (!levelText.empty()) {
        try {
            size_t used = 0;
            model["significanceLevel"] = std::stod(levelText, &used);
            if (used != levelText.size())
                throw std::invalid_argument(levelText);
        } catch (const std::exception&) {
            return cli.Failure("", "--level takes a number, not '" + levelText + "'");
        }
    }
    if (time.empty() || metrics.empty() || output.empty())
        return cli.UsageError("--time, --metrics and -o are required");
    const auto path = tcmcli::AbsolutePath(file, true);
    if (!path)
        return cli.Failure(file, "cannot read it");
    const auto out = tcmcli::AbsolutePath(output, false);
    if (!out)
        return cli.Failure(output, "not a usable output path");
    if (interval.empty()) {
        std::string error;
        interval = DetectUnit(*path, time, error);
        if (interval.empty())
            return cli.Failure(file, error);
    }
    Json conf = Json::object();
    conf["dimFieldList"] = dims.empty() ? Json::array({""}) : Json(dims);
    conf["metricFieldList"] = metrics;
    conf["dateTimeField"] = time;
    conf["cyclicFieldList"] = Json::array();
    conf["timeInterval"] = {{"unit", interval}, {"step", 1}};
    if (!aggregation.empty())
        conf["metricAggregation"] = aggregation;
    for (const auto& [key, value] : model.items())
        conf[key] = value;
    if (!targets.empty())
        conf["targetFieldList"] = targets;
    if (!inputs.empty())
        conf["inputFieldList"] = inputs;
    const Json outCons = Json::array({{{"export", true}, {"name", "TCM"}, {"uri", Uri(*out)}}});
    const std::string job = "val readerConf = " + CsvReader(*path).dump() + "\n" +
                            "val buildConf = " + conf.dump() + "\n" +
                            "val outCons = " + outCons.dump() + "\n" +
                            "read(readerConf)->tcm:build(buildConf,_,outCons)";
    std::string error;
    const bool ok = RunJob(job, error);
    tcmcli::ShutdownEngine();
    if (!ok)
        return cli.Failure(file, error);
    if (json)
        std::printf("%s\n", Json{{"model", *out}, {"data", *path}}.dump().c_str());
    else
        std::printf("model written to %s\n", out->c_str());
    return 0;
}

int Prepare(int argc, char** argv) {
    qecli::CommandLine cli("tcm prepare", "MODEL.zip DATA.csv -o PREPARED.csv",
                           "write the series the model's preparation settings give, as CSV");
    std::vector<std::string> files;
    std::string output;
    cli.Option("-o", "PREPARED.csv", output, "the CSV file to write");
    cli.Option("--output", "PREPARED.csv", output, "the same as -o");
    bool json = false;
    cli.Flag("--json", json, "print {\"prepared\": PATH} instead of a line");
    cli.Positionals(files, 2, 2);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    if (output.empty())
        return cli.UsageError("-o is required");
    const auto archive = tcmcli::AbsolutePath(files[0], true);
    if (!archive)
        return cli.Failure(files[0], "cannot read it");
    const auto path = tcmcli::AbsolutePath(files[1], true);
    if (!path)
        return cli.Failure(files[1], "cannot read it");
    const auto out = tcmcli::AbsolutePath(output, false);
    if (!out)
        return cli.Failure(output, "not a usable output path");
    std::string text;
    ZipReader reader;
    if (!reader.Open(*archive))
        return cli.Failure(files[0], "not a zip archive");
    if (!reader.GotoFile("TSDPOutput.json") || !reader.ExportString(text))
        return cli.Failure(files[0], "no TSDPOutput.json entry");
    const Json document = Json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("settings") ||
        !document["settings"].is_object()) {
        return cli.Failure(files[0], "the preparation settings do not parse");
    }
    const std::string side = *out + ".tsdp.zip";
    const Json outConf = Json::array({{{"export", true}, {"name", "JSON"}, {"uri", Uri(side)}}});
    const Json writer{
        {"dataDestination", Uri(*out)}, {"dataModelDestination", ""}, {"type", "text/csv"}};
    const std::string job =
        "val readerConf = " + CsvReader(*path).dump() + "\n" +
        "val tsdpOutConf = " + outConf.dump() + "\n" +
        "val tsdpConf = " + document["settings"].dump() + "\n" +
        "val writerConf = " + writer.dump() + "\n" +
        "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    std::string error;
    const bool ok = RunJob(job, error);
    tcmcli::ShutdownEngine();
    std::error_code ec;
    std::filesystem::remove(side, ec);
    if (!ok)
        return cli.Failure(files[1], error);
    if (json)
        std::printf("%s\n",
                    Json{{"prepared", *out}, {"model", *archive}, {"data", *path}}.dump().c_str());
    else
        std::printf("prepared series written to %s\n", out->c_str());
    return 0;
}

}  // namespace

int RunTcmCommand(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(
            "qeinteg tcm: give a subcommand: build, prepare, capabilities, impact or "
            "scenario (see qeinteg tcm --help)\n",
            stderr);
        return qecli::kExitUsage;
    }
    const std::string sub = argv[1];
    if (sub == "-h" || sub == "--help") {
        Usage(stdout);
        return qecli::kExitOk;
    }
    if (sub == "--version") {
        std::printf("%s\n", qecli::VersionText().c_str());
        return qecli::kExitOk;
    }
    // Each subcommand sees its own name first.
    if (sub == "build")
        return Build(argc - 1, argv + 1);
    if (sub == "prepare")
        return Prepare(argc - 1, argv + 1);
    if (sub == "capabilities")
        return RunTcmCapabilities(argc - 1, argv + 1);
    if (sub == "impact")
        return RunTcmImpact(argc - 1, argv + 1);
    if (sub == "scenario")
        return RunTcmScenario(argc - 1, argv + 1);
    std::fprintf(stderr,
                 "qeinteg tcm: unknown subcommand '%s' (build, prepare, capabilities, impact or "
                 "scenario)\n",
                 sub.c_str());
    return qecli::kExitUsage;
}
