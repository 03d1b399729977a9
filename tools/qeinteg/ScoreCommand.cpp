#include "ScoreCommand.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "CommandLine.h"
#include "JsonRecordWriter.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/procedures/QEScorExecXML.h"
#include "qeinteg/procedures/QETransformScorer.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

std::string Quoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// A proleptic Gregorian date from days since 1970-01-01.
std::string DateText(double days, double secondsOfDay = -1) {
    const long z = static_cast<long>(std::floor(days)) + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp < 10 ? mp + 3 : mp - 9;
    const long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buffer[128];
    if (secondsOfDay < 0) {
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld", y, m, d);
    } else {
        const long s = static_cast<long>(secondsOfDay);
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, m, d,
                      s / 3600, s / 60 % 60, s % 60);
    }
    return buffer;
}

// A field's value in the current row: its CSV text (empty when missing) and its JSON value (null
// when missing, text for strings and dates, a number otherwise).
std::string FieldValue(QERawDataIterator& it, int field, CFField::StorageType storage, Json& json) {
    const void* data = nullptr;
    size_t length = 0;
    json = nullptr;
    if (it.getRecordValue(static_cast<size_t>(field), &data, &length) != 0 || data == nullptr)
        return "";
    if (storage == CFField::String) {
        std::string text(static_cast<const char*>(data), length);
        json = text;
        return Quoted(text);
    }
    double v;
    std::memcpy(&v, data, sizeof v);
    std::string text;
    if (storage == CFField::Date) {
        text = DateText(v);
    } else if (storage == CFField::Timestamp) {
        text = DateText(std::floor(v / 86400), v - std::floor(v / 86400) * 86400);
    } else {
        json = v;
        return Number(v);
    }
    json = text;
    return text;
}

// Where the scores go: standard output, or a file that appears under its name only when every
// record was scored (a failed run leaves no half-written file behind, nor harms an older one).
class ScoreOutput {
  public:
    explicit ScoreOutput(std::string path) : path_(std::move(path)) {
        if (path_.empty())
            return;
        partial_ = path_ + ".partial";
        file_.open(partial_, std::ios::binary | std::ios::trunc);
    }
    ~ScoreOutput() {
        if (!partial_.empty() && !committed_) {
            file_.close();
            std::error_code ec;
            std::filesystem::remove(partial_, ec);
        }
    }
    ScoreOutput(const ScoreOutput&) = delete;
    ScoreOutput& operator=(const ScoreOutput&) = delete;

    bool IsOpen() const { return path_.empty() || file_.is_open(); }
    std::ostream& Stream() { return path_.empty() ? std::cout : file_; }
    // Flushes and moves the finished file into place; false (with `cause`) when that fails.
    bool Commit(std::string& cause) {
        Stream().flush();
        if (!Stream()) {
            cause = "cannot write it";
            return false;
        }
        if (path_.empty())
            return true;
        file_.close();
        if (!file_) {
            cause = "cannot write it";
            return false;
        }
        std::error_code ec;
        std::filesystem::rename(partial_, path_, ec);
        if (ec) {
            cause = ec.message();
            return false;
        }
        committed_ = true;
        return true;
    }

  private:
    std::string path_;
    std::string partial_;
    std::ofstream file_;
    bool committed_ = false;
};

// A parameter value of the settings document as JSON: a "value" attribute as text, a list as an
// array, a structure as an object of its attributes, nothing as null.
Json SettingValue(pugi::xml_node node) {
    if (pugi::xml_attribute value = node.attribute("value"))
        return value.value();
    if (pugi::xml_node list = node.child("ListValue")) {
        Json items = Json::array();
        for (pugi::xml_node item : list.children())
            items.push_back(SettingValue(item));
        return items;
    }
    pugi::xml_node structure =
        std::string(node.name()) == "StructuredValue" ? node : node.child("StructuredValue");
    if (structure) {
        Json members = Json::object();
        for (pugi::xml_node a : structure.children("Attribute"))
            members[a.attribute("name").value()] = SettingValue(a);
        return members;
    }
    return nullptr;
}

}  // namespace

int RunScoreCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "score", "MODEL.pmml DATA.csv [--outputs A,B] [--keys A,B] [-o OUT.csv] [--json]",
        "score every record of DATA.csv with the PMML model: its key fields, then the outputs");
    std::string outputList;
    std::string keyList;
    std::string outPath;
    bool json = false;
    std::vector<std::string> files;
    cli.Option("--outputs", "A,B", outputList,
               "the outputs to write, in this order (default: every model output; a "
               "cell is empty where there is no prediction)");
    cli.Option("--keys", "A,B", keyList,
               "the data fields that identify a record (default: the first field)");
    cli.Option("-o", "OUT.csv", outPath, "write to this file instead of standard output");
    cli.Flag("--json", json, "write one JSON document (keys, outputs, records) instead of CSV");
    cli.Positionals(files, 2, 2);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    std::vector<std::string> outputs = qecli::SplitList(outputList);
    std::vector<std::string> keys = qecli::SplitList(keyList);
    const std::string& modelPath = files[0];
    const std::string& dataPath = files[1];

    std::string model;
    if (std::string cause; !qecli::ReadWholeFile(modelPath, model, cause))
        return cli.Failure(modelPath, cause);
    if (std::string cause = qecli::UnreadableCause(dataPath); !cause.empty())
        return cli.Failure(dataPath, cause);
    UserCaseFileSpec caseFile;
    caseFile.Init(dataPath, true, false);
    UserInputCaseFile data(caseFile);
    if (!data.IsOpen())
        return cli.Failure(dataPath, data.Error());

    QERawDataIterator it(data.DataSource(), std::vector<int>{}, {}, false,
                         QERawDataIterator::Ignore, false);
    QETransformScorer scorer;
    if (!scorer.PrepareScoring(&it, model, outputs, true))
        return cli.Failure(modelPath, scorer.GetLastError());

    const CFMetaData& metadata = it.GetMetaData();
    if (metadata.FieldCount() == 0)
        return cli.Failure(dataPath, "it has no fields");
    if (keys.empty())
        keys.push_back(metadata.GetField(0).GetName());
    std::vector<int> keyFields;
    for (const std::string& key : keys) {
        const int field = metadata.FindField(key);
        if (field < 0)
            return cli.Failure(dataPath, "the key field '" + key + "' is not one of its fields");
        keyFields.push_back(field);
    }
    if (outputs.empty())
        outputs = scorer.GetOutputModelVarNames();

    ScoreOutput output(outPath);
    if (!output.IsOpen())
        return cli.Failure(outPath, "cannot write it");
    std::ostream& out = output.Stream();
    std::optional<qecli::JsonRecordWriter> writer;
    std::string line;
    if (json) {
        writer.emplace(
            out,
            Json{{"model", modelPath}, {"data", dataPath}, {"keys", keys}, {"outputs", outputs}},
            "records");
    } else {
        for (const std::string& key : keys)
            line += Quoted(key) + ",";
        for (const std::string& name : outputs)
            line += Quoted(name) + ",";
        line.back() = '\n';
        out << line;
    }

    // The bar would break the lines of scores printed on the same terminal.
    const bool scoresOnTerminal = outPath.empty() && ::isatty(STDOUT_FILENO) == 1;
    qecli::ProgressBar progress("score " + std::filesystem::path(dataPath).filename().string(),
                                !scoresOnTerminal && ::isatty(STDERR_FILENO) == 1, stderr);
    const double total = static_cast<double>(data.Dataset().CaseCount());
    long records = 0;
    uint32_t status;
    while ((status = it.nextRecord()) == 0) {
        if (!scorer.ScoreRecord()) {
            progress.Finish();
            return cli.Failure(
                dataPath, "record " + std::to_string(records + 1) + ": " + scorer.GetLastError());
        }
        line.clear();
        Json record = Json::array();
        Json value;
        for (int field : keyFields) {
            line += FieldValue(it, field, metadata.GetField(field).GetStorage(), value) + ",";
            record.push_back(std::move(value));
        }
        for (double v : scorer.GetTargetValues()) {
            const bool valid = scorer.IsValidDouble(v);
            line += (valid ? Number(v) : std::string()) + ",";
            record.push_back(valid ? Json(v) : Json());
        }
        if (writer) {
            writer->Add(record);
        } else {
            line.back() = '\n';
            out << line;
        }
        ++records;
        if (total > 0 && records % 1024 == 0)
            progress.Update(records / total);
    }
    progress.Finish();
    if (status != 1) {
        return cli.Failure(dataPath,
                           "reading stopped after " + std::to_string(records) + " records");
    }
    if (writer)
        writer->Finish({{"recordCount", records}});
    if (std::string cause; !output.Commit(cause))
        return cli.Failure(outPath.empty() ? "standard output" : outPath, cause);
    return qecli::kExitOk;
}

int RunScoreSettingsCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "score-settings", "[--missing-as-predictor] [--max-predictions N] [--json]",
        "print the scoring module's execution settings (from its descriptor "
        "lib/tavo.scoring.9/module.xml in $QEHOST_CF_PATH, else the build's components)");
    bool missingAsPredictor = false;
    std::string maxText;
    bool json = false;
    std::vector<std::string> none;
    cli.Flag("--missing-as-predictor", missingAsPredictor,
             "treat missing values as a predictor category");
    cli.Option("--max-predictions", "N", maxText, "predictions per record (default 3)");
    cli.Flag("--json", json, "print one JSON document (module, parameters, document) instead");
    cli.Positionals(none, 0, 0);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    int maxPredictions = 3;
    if (!maxText.empty()) {
        auto [end, ec] =
            std::from_chars(maxText.data(), maxText.data() + maxText.size(), maxPredictions);
        if (ec != std::errc() || end != maxText.data() + maxText.size() || maxPredictions < 1) {
            return cli.UsageError("--max-predictions needs a whole number of at least 1, not '" +
                                  maxText + "'");
        }
    }
    const std::string descriptor =
        ExtensionFinder::GetCFPath() + "lib/" + QEScorExecXML::ScoringFolderName + "/module.xml";
    if (std::string cause = qecli::UnreadableCause(descriptor); !cause.empty())
        return cli.Failure(descriptor, "no scoring module descriptor: " + cause);
    QEScorExecXML settings(missingAsPredictor);
    settings.setMaxPredictions(maxPredictions);
    std::string xml;
    settings.getXML(xml);
    if (!json) {
        std::fputs(xml.c_str(), stdout);
        return qecli::kExitOk;
    }
    pugi::xml_document document;
    if (!document.load_string(xml.c_str()))
        return cli.Failure(descriptor, "the settings document built from it is not XML");
    const pugi::xml_node operation = document.child("Execution").child("Operation");
    Json out = Json::object();
    out["descriptor"] = descriptor;
    out["moduleId"] = operation.attribute("moduleId").value();
    out["componentId"] = operation.attribute("componentId").value();
    out["version"] = operation.attribute("version").value();
    Json parameters = Json::object();
    for (pugi::xml_node p : operation.child("Parameters").children("Parameter"))
        parameters[p.attribute("name").value()] = SettingValue(p);
    out["parameters"] = std::move(parameters);
    out["document"] = xml;
    std::printf("%s\n", out.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    return qecli::kExitOk;
}
