#include "TcmCommand.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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
        "build options:\n"
        "  --time FIELD        the date/time field (ISO dates or timestamps)\n"
        "  --dims A,B          dimension fields (one series per combination and metric)\n"
        "  --metrics M1,M2     metric fields\n"
        "  --interval UNIT     years, quarters, months, weeks, days, hours, minutes or seconds\n"
        "                      (default: the interval detected in the data)\n"
        "  --aggregate M=how   sum (default), mean, min, max, count, first or last; repeatable\n"
        "  --lags L            lags 1..L of every input (default 3)\n"
        "  --targets M1,M2     metrics whose series are targets (default: every metric)\n"
        "  --inputs M1,M2      metrics whose series are candidate inputs (default: every metric)\n"
        "  --level A           significance level of the selection (default 0.05)\n"
        "  --max-inputs N      inputs per target besides itself (default 3)\n"
        "prepare writes the series the model's preparation settings give, as CSV.\n",
        out);
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty())
            out.push_back(std::move(item));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "qeinteg: %s\n", text.c_str());
    return 1;
}

std::string Uri(const std::string& path) {
    return "file:///" + path;
}

std::optional<std::string> Absolute(const std::string& file, bool mustExist) {
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (ec || (mustExist && !std::filesystem::is_regular_file(path)))
        return std::nullopt;
    return path;
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

void Shutdown() {
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
}

int Build(int argc, char** argv) {
    std::string file, time, interval, output;
    std::vector<std::string> dims, metrics, targets, inputs;
    Json aggregation = Json::object();
    Json model = Json::object();
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if (!arg.empty() && arg[0] != '-') {
            if (!file.empty())
                return Fail("tcm build: more than one data file given");
            file = arg;
            continue;
        }
        if (!hasValue)
            return Fail("tcm build: " + arg + " needs a value (see qeinteg tcm --help)");
        const std::string value = argv[++i];
        try {
            if (arg == "--time") {
                time = value;
            } else if (arg == "--dims") {
                dims = SplitList(value);
            } else if (arg == "--metrics") {
                metrics = SplitList(value);
            } else if (arg == "--interval") {
                interval = value;
            } else if (arg == "--aggregate") {
                const size_t eq = value.find('=');
                if (eq == std::string::npos || eq == 0)
                    return Fail("tcm build: --aggregate takes METRIC=METHOD");
                aggregation[value.substr(0, eq)] = value.substr(eq + 1);
            } else if (arg == "--lags") {
                size_t used = 0;
                model["lags"] = std::stoi(value, &used);
                if (used != value.size())
                    throw std::invalid_argument(value);
            } else if (arg == "--max-inputs") {
                size_t used = 0;
                model["maxInputs"] = std::stoi(value, &used);
                if (used != value.size())
                    throw std::invalid_argument(value);
            } else if (arg == "--level") {
                size_t used = 0;
                model["significanceLevel"] = std::stod(value, &used);
                if (used != value.size())
                    throw std::invalid_argument(value);
            } else if (arg == "--targets") {
                targets = SplitList(value);
            } else if (arg == "--inputs") {
                inputs = SplitList(value);
            } else if (arg == "-o" || arg == "--output") {
                output = value;
            } else {
                return Fail("tcm build: unknown option " + arg + " (see qeinteg tcm --help)");
            }
        } catch (const std::exception&) {
            return Fail("tcm build: " + arg + " takes a number, not '" + value + "'");
        }
    }
    if (file.empty() || time.empty() || metrics.empty() || output.empty())
        return Fail("tcm build: DATA.csv, --time, --metrics and -o are required");
    const auto path = Absolute(file, true);
    if (!path)
        return Fail("cannot read " + file);
    const auto out = Absolute(output, false);
    if (!out)
        return Fail("bad output path " + output);
    if (interval.empty()) {
        std::string error;
        interval = DetectUnit(*path, time, error);
        if (interval.empty())
            return Fail("tcm build: " + error);
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
    Shutdown();
    if (!ok)
        return Fail("tcm build: " + error);
    std::printf("model written to %s\n", out->c_str());
    return 0;
}

int Prepare(int argc, char** argv) {
    std::vector<std::string> files;
    std::string output;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if ((arg == "-o" || arg == "--output") && i + 1 < argc) {
            output = argv[++i];
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(arg);
        } else {
            return Fail("tcm prepare: unknown option " + arg + " (see qeinteg tcm --help)");
        }
    }
    if (files.size() != 2 || output.empty())
        return Fail("tcm prepare: MODEL.zip, DATA.csv and -o are required");
    const auto archive = Absolute(files[0], true);
    if (!archive)
        return Fail("cannot read " + files[0]);
    const auto path = Absolute(files[1], true);
    if (!path)
        return Fail("cannot read " + files[1]);
    const auto out = Absolute(output, false);
    if (!out)
        return Fail("bad output path " + output);
    std::string text;
    ZipReader reader;
    if (!reader.Open(*archive))
        return Fail("tcm prepare: " + files[0] + " is not a zip archive");
    if (!reader.GotoFile("TSDPOutput.json") || !reader.ExportString(text))
        return Fail("tcm prepare: " + files[0] + " has no TSDPOutput.json entry");
    const Json document = Json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("settings") ||
        !document["settings"].is_object()) {
        return Fail("tcm prepare: the preparation settings of " + files[0] + " do not parse");
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
    Shutdown();
    std::error_code ec;
    std::filesystem::remove(side, ec);
    if (!ok)
        return Fail("tcm prepare: " + error);
    std::printf("prepared series written to %s\n", out->c_str());
    return 0;
}

}  // namespace

int RunTcmCommand(int argc, char** argv) {
    if (argc < 2)
        return Fail("tcm: give a subcommand, build or prepare (see qeinteg tcm --help)");
    const std::string sub = argv[1];
    if (sub == "-h" || sub == "--help") {
        Usage(stdout);
        return 0;
    }
    if (sub == "build")
        return Build(argc, argv);
    if (sub == "prepare")
        return Prepare(argc, argv);
    return Fail("tcm: unknown subcommand '" + sub + "' (build or prepare)");
}
