#include "TcmModelCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "CommandLine.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/output/OutputOrder.h"
#include "qeinteg/output/jsonToPennant.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/viewer/OutputRender.h"
#include "qeinteg/procedures/QEInteractiveTSR.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace tcmcli {

std::optional<std::string> AbsolutePath(const std::string& file, bool mustExist) {
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (ec || (mustExist && !std::filesystem::is_regular_file(path)))
        return std::nullopt;
    return path;
}

void ShutdownEngine() {
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
}

}  // namespace tcmcli

namespace {

using Json = nlohmann::ordered_json;

// What the command line needs from the model archive before the library runs: its preparation
// settings.
struct ModelSettings {
    std::vector<std::string> dimensions;
    std::string dateTimeField;
    int timePoints = 0;
};

std::optional<ModelSettings> ReadModelSettings(const std::string& archive, std::string& error) {
    ZipReader reader;
    std::string text;
    if (!reader.Open(archive)) {
        error = "not a zip archive";
        return std::nullopt;
    }
    if (!reader.GotoFile("TSDPOutput.json") || !reader.ExportString(text)) {
        error = "not a temporal causal model (no TSDPOutput.json entry)";
        return std::nullopt;
    }
    const Json document = Json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("settings") ||
        !document["settings"].is_object()) {
        error = "the preparation settings do not parse";
        return std::nullopt;
    }
    const Json& settings = document["settings"];
    ModelSettings out;
    if (settings.contains("dimFieldList") && settings["dimFieldList"].is_array()) {
        for (const Json& name : settings["dimFieldList"]) {
            if (name.is_string() && !name.get<std::string>().empty())
                out.dimensions.push_back(name.get<std::string>());
        }
    }
    if (settings.contains("dateTimeField") && settings["dateTimeField"].is_string())
        out.dateTimeField = settings["dateTimeField"].get<std::string>();
    return out;
}

// The library's error after a failed operation, as one line.
std::string ErrorOf(QEInteractiveTSR& tsr, const std::string& fallback) {
    std::string id, message, detail;
    if (tsr.hasError(id, message, detail) && !message.empty())
        return message;
    return fallback;
}

bool StartJvm() {
    return JNIObjectManager::getManager()->getEnv() != nullptr;
}

// A CSV file as a dataset of the host's data server, removed again when this goes.
class CsvDataset {
  public:
    bool Open(const std::string& path, std::string& error) {
        UserCaseFileSpec caseSpec;
        if (!caseSpec.Init(path, true, false)) {
            error = "no data file given";
            return false;
        }
        UserInputCaseFile file(caseSpec);
        if (!file.IsOpen()) {
            error = file.Error();
            return false;
        }
        id_ = SvrDMDataset::Register(std::make_shared<HostDataset>(file.Dataset()));
        return true;
    }
    ~CsvDataset() {
        if (!id_.IsNone())
            SvrDMDataset::Remove(id_);
    }
    LocallyUniqueID id() const { return id_; }

  private:
    LocallyUniqueID id_ = LocallyUniqueID::None();
};

// The field names of a <DataModel> text, with their storages.
Json FieldsOf(const std::string& xml) {
    Json fields = Json::array();
    pugi::xml_document document;
    if (!document.load_string(xml.c_str()))
        return fields;
    pugi::xml_node root = document.first_child();
    for (pugi::xml_node field : root.children("field")) {
        fields.push_back({{"name", field.attribute("name").value()},
                          {"storage", field.attribute("storage").value()},
                          {"values", std::distance(field.child("values").children().begin(),
                                                   field.child("values").children().end())}});
    }
    return fields;
}

}  // namespace

int RunTcmCapabilities(int argc, char** argv) {
    qecli::CommandLine cli("tcm capabilities", "MODEL.zip [--json]",
                           "show what a temporal causal model can do: its fields, series, targets "
                           "and scoring data models");
    std::vector<std::string> files;
    bool json = false;
    cli.Flag("--json", json, "print one JSON document with the six texts instead of a summary");
    cli.Positionals(files, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const auto archive = tcmcli::AbsolutePath(files[0], true);
    if (!archive)
        return cli.Failure(files[0], "cannot read it");
    std::string error;
    if (!ReadModelSettings(*archive, error))
        return cli.Failure(files[0], error);
    if (!StartJvm())
        return cli.Failure("", "could not start the Java VM");
    std::string dataModel, input, output, properties, graph, tsdp;
    bool ok = false;
    {
        QEInteractiveTSR tsr;
        ok = tsr.getModelCapabilities(*archive, dataModel, input, output, properties, graph, tsdp);
        if (!ok)
            error = ErrorOf(tsr, "the model's capabilities cannot be read");
    }
    tcmcli::ShutdownEngine();
    if (!ok)
        return cli.Failure(files[0], error);

    const Json graphDoc = Json::parse(graph, nullptr, false);
    const Json tsdpDoc = Json::parse(tsdp, nullptr, false);
    if (json) {
        const Json out{{"dataModel", dataModel},
                       {"inputDataModel", input},
                       {"outputDataModel", output},
                       {"modelProperties", properties},
                       {"graph", graphDoc.is_discarded() ? Json(graph) : graphDoc},
                       {"tsdpOutput", tsdpDoc.is_discarded() ? Json(tsdp) : tsdpDoc}};
        std::printf("%s\n", out.dump(2).c_str());
        return qecli::kExitOk;
    }
    std::printf("model: %s\n", files[0].c_str());
    if (tsdpDoc.is_object() && tsdpDoc.contains("output") && tsdpDoc["output"].is_object()) {
        const Json& o = tsdpDoc["output"];
        std::printf("time points: %s (%s to %s)\n", o.value("timePoints", Json()).dump().c_str(),
                    o.value("firstTimePoint", std::string()).c_str(),
                    o.value("lastTimePoint", std::string()).c_str());
    }
    std::printf("fields:\n");
    for (const Json& field : FieldsOf(dataModel)) {
        std::printf("  %-24s %-10s%s\n", field["name"].get<std::string>().c_str(),
                    field["storage"].get<std::string>().c_str(),
                    field["values"].get<long>() > 0
                        ? (" " + std::to_string(field["values"].get<long>()) + " values").c_str()
                        : "");
    }
    if (graphDoc.is_object()) {
        std::vector<std::string> targets;
        if (graphDoc.contains("targets") && graphDoc["targets"].is_array()) {
            for (const Json& target : graphDoc["targets"])
                targets.push_back(target.value("series", std::string()));
        }
        std::printf("series:\n");
        if (graphDoc.contains("series") && graphDoc["series"].is_array()) {
            for (const Json& series : graphDoc["series"]) {
                const std::string id = series.value("id", std::string());
                std::string name = series.value("metric", std::string());
                if (series.contains("dimensionValues") && series["dimensionValues"].is_array()) {
                    for (const Json& value : series["dimensionValues"])
                        name +=
                            " | " + (value.is_string() ? value.get<std::string>() : value.dump());
                }
                const bool target = std::find(targets.begin(), targets.end(), id) != targets.end();
                std::printf("  %-10s %-40s %s\n", id.c_str(), name.c_str(),
                            target ? "target" : "input only");
            }
        }
    }
    std::printf("scoring input fields: %zu, output fields: %zu\n", FieldsOf(input).size(),
                FieldsOf(output).size());
    return qecli::kExitOk;
}

int RunTcmImpact(int argc, char** argv) {
    qecli::CommandLine cli("tcm impact",
                           "MODEL.zip --series S [--level N] [--data DATA.csv] [--html FILE] "
                           "[--json]",
                           "the impact diagram of a series: the series that drive it (causes) and "
                           "those it drives (effects)");
    std::vector<std::string> files, series;
    std::string levelText = "1", data, html;
    bool json = false;
    cli.Repeated("--series", "S", series,
                 "a series, by identifier (\"0-1\") or label (\"metric | value\"); repeatable");
    cli.Option("--level", "N", levelText, "how many steps of causes and effects (default 1)");
    cli.Option("--data", "DATA.csv", data, "prepare this data the model's way first");
    cli.Option("--html", "FILE", html, "also write the tables as an HTML page");
    cli.Flag("--json", json, "print the engine's impact diagram document");
    cli.Positionals(files, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    if (series.empty())
        return cli.UsageError("--series is required");
    int level = 0;
    try {
        size_t used = 0;
        level = std::stoi(levelText, &used);
        if (used != levelText.size() || level < 1)
            throw std::invalid_argument(levelText);
    } catch (const std::exception&) {
        return cli.Failure("",
                           "--level takes a whole number of at least 1, not '" + levelText + "'");
    }
    const auto archive = tcmcli::AbsolutePath(files[0], true);
    if (!archive)
        return cli.Failure(files[0], "cannot read it");
    std::string error;
    const auto settings = ReadModelSettings(*archive, error);
    if (!settings)
        return cli.Failure(files[0], error);
    if (!StartJvm())
        return cli.Failure("", "could not start the Java VM");
    std::string statJson;
    bool ok = false;
    std::string failedFile = files[0];
    {
        CsvDataset dataset;
        if (!data.empty() && !dataset.Open(data, error)) {
            failedFile = data;
        } else {
            QEInteractiveTSR tsr;
            const std::string target = series.back();
            series.pop_back();
            ok = tsr.getImpactDiagram(dataset.id(), *archive, target, settings->dimensions, series,
                                      false, level, statJson);
            if (!ok)
                error = ErrorOf(tsr, "the impact diagram cannot be made");
        }
    }
    tcmcli::ShutdownEngine();
    if (!ok)
        return cli.Failure(failedFile, error);
    if (json) {
        std::printf("%s\n", statJson.c_str());
        return qecli::kExitOk;
    }
    qehost::HostOutput::instance().reset();
    FacSTDictionary dictionary;
    bool rendered = false;
    {
        PnProcedure procedure("TCM Impact Diagram");
        jsonToPennant renderer(&procedure, nullptr, dictionary, statJson);
        for (const char* artifact : {"ImpactDiagramCauses", "ImpactDiagramEffects"}) {
            OutputOrder order;
            order.setHeading("Impact Diagram");
            order.addLocation(std::string(artifact) + ".table");
            order.setOutlineTitle(std::string(artifact) == "ImpactDiagramCauses" ? "Causes"
                                                                                 : "Effects");
            renderer.addObjectToOutput(order);
        }
        rendered = renderer.generateOutput("interpretation");
    }
    const qehost::OutputItem& root = qehost::HostOutput::instance().root();
    if (!rendered)
        return cli.Failure(files[0], "the impact diagram document cannot be rendered");
    std::fputs(qehost::RenderText(root).c_str(), stdout);
    if (!html.empty()) {
        std::ofstream out(html, std::ios::binary | std::ios::trunc);
        out << qehost::RenderHtml(root, "Impact diagram: " + files[0]);
        if (!out)
            return cli.Failure(html, "cannot write it");
    }
    return qecli::kExitOk;
}

int RunTcmScenario(int argc, char** argv) {
    qecli::CommandLine cli(
        "tcm scenario", "MODEL.zip DATA.csv --metric M [--dims FIELD=VALUE,...] --from S --to E",
        "score one series of the model forward from the data and print its observed and "
        "predicted values; periods count from the model's last time point (1 is the first "
        "forecast, 0 and below are observed periods)");
    std::vector<std::string> files;
    std::string metric, dimsText, from, to;
    bool json = false;
    cli.Option("--metric", "M", metric, "the series' metric");
    cli.Option("--dims", "FIELD=VALUE,...", dimsText,
               "the series' value of every dimension field of the model");
    cli.Option("--from", "S", from, "the first period");
    cli.Option("--to", "E", to, "the last period");
    cli.Flag("--json", json, "print one JSON document instead of a table");
    cli.Positionals(files, 2, 2);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    if (metric.empty() || from.empty() || to.empty())
        return cli.UsageError("--metric, --from and --to are required");
    auto whole = [](const std::string& text) -> std::optional<int> {
        try {
            size_t used = 0;
            const int value = std::stoi(text, &used);
            if (used == text.size())
                return value;
        } catch (const std::exception&) {
        }
        return std::nullopt;
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& pair : qecli::SplitList(dimsText)) {
        const size_t eq = pair.find('=');
        if (eq == std::string::npos)
            return cli.UsageError("--dims takes FIELD=VALUE pairs, not " + pair);
        pairs.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    }
    const auto start = whole(from);
    const auto end = whole(to);
    if (!start || !end)
        return cli.Failure("", "--from and --to take whole numbers");
    if (*start > *end)
        return cli.Failure("", "the scenario starts (" + from + ") after it ends (" + to + ")");
    const auto archive = tcmcli::AbsolutePath(files[0], true);
    if (!archive)
        return cli.Failure(files[0], "cannot read it");
    const auto dataPath = tcmcli::AbsolutePath(files[1], true);
    if (!dataPath)
        return cli.Failure(files[1], "cannot read it");
    std::string error;
    const auto settings = ReadModelSettings(*archive, error);
    if (!settings)
        return cli.Failure(files[0], error);
    // One value per dimension of the model, in the model's order.
    std::vector<std::string> values(settings->dimensions.size());
    std::vector<bool> given(values.size(), false);
    for (const auto& [field, value] : pairs) {
        size_t i = 0;
        while (i < settings->dimensions.size() && settings->dimensions[i] != field)
            ++i;
        if (i == settings->dimensions.size())
            return cli.Failure(files[0], "the model has no dimension field '" + field + "'");
        values[i] = value;
        given[i] = true;
    }
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i])
            return cli.Failure("", "--dims lacks a value for the model's dimension '" +
                                       settings->dimensions[i] + "'");
    }
    if (!StartJvm())
        return cli.Failure("", "could not start the Java VM");
    std::vector<double> observed, predicted;
    bool ok = false;
    std::string failedFile = files[0];
    {
        CsvDataset dataset;
        if (!dataset.Open(*dataPath, error)) {
            failedFile = files[1];
        } else {
            QEInteractiveTSR tsr;
            ok = tsr.GetScenarioInfo(dataset.id(), *archive, settings->dateTimeField, from, to, {},
                                     {}, {}, metric, settings->dimensions, values, observed,
                                     predicted);
            if (!ok)
                error = ErrorOf(tsr, "the scenario cannot be scored");
        }
    }
    tcmcli::ShutdownEngine();
    if (!ok)
        return cli.Failure(failedFile, error);

    // Observed periods come first, forecasts after them.
    auto number = [](double v) { return v == SYSMIS ? Json() : Json(v); };
    if (json) {
        Json series = Json::object();
        for (size_t i = 0; i < values.size(); ++i)
            series[settings->dimensions[i]] = values[i];
        Json obs = Json::array(), pred = Json::array();
        for (double v : observed)
            obs.push_back(number(v));
        for (double v : predicted)
            pred.push_back(number(v));
        const Json out{{"metric", metric}, {"dimensions", series}, {"from", *start},
                       {"to", *end},       {"observed", obs},      {"predicted", pred}};
        std::printf("%s\n", out.dump(2).c_str());
        return qecli::kExitOk;
    }
    std::string name = metric;
    for (size_t i = 0; i < values.size(); ++i)
        name += (i == 0 ? " at " : ", ") + settings->dimensions[i] + "=" + values[i];
    std::printf("%s\n%-8s %-10s %s\n", name.c_str(), "period", "kind", "value");
    int period = *start;
    for (double v : observed)
        std::printf("%-8d %-10s %s\n", period++, "observed",
                    v == SYSMIS ? "." : number(v).dump().c_str());
    for (double v : predicted)
        std::printf("%-8d %-10s %s\n", period++, "predicted",
                    v == SYSMIS ? "." : number(v).dump().c_str());
    return qecli::kExitOk;
}
