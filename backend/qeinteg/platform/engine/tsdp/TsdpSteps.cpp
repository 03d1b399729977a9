#include "qeinteg/platform/engine/tsdp/TsdpSteps.h"

#include "qeinteg/platform/engine/io/ZipOutput.h"
#include "qeinteg/platform/engine/tsdp/TcmModel.h"
#include "qeinteg/platform/engine/tsdp/Tsdp.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

// Polls cancellation and reports progress while records are pulled.
std::function<void(uint64_t)> Pacer(JobEnvironment& env, const RowSource& source, float from,
                                    float to) {
    return [&env, &source, from, to, last = from](uint64_t records) mutable {
        if (records % 64 == 0 && env.cancelled && env.cancelled())
            throw EngineCancelled();
        if (records % 4096 != 0 || !env.progress)
            return;
        double fraction = source.fraction();
        if (fraction < 0)
            fraction = static_cast<double>(records) / (static_cast<double>(records) + 100000.0);
        const float value = from + (to - from) * static_cast<float>(fraction);
        if (value > last) {
            last = value;
            env.progress(value);
        }
    };
}

// Prepared records that own their data.
class OwningPreparedRows final : public RowSource {
  public:
    explicit OwningPreparedRows(TsdpResult result)
        : result_(std::move(result)), rows_(PreparedRows(result_)) {}
    const std::vector<EngineField>& fields() const override { return rows_->fields(); }
    bool next() override { return rows_->next(); }
    Cell cell(size_t index) override { return rows_->cell(index); }
    double fraction() const override { return rows_->fraction(); }

  private:
    TsdpResult result_;
    std::unique_ptr<RowSource> rows_;
};

void Report(JobEnvironment& env, const char* id, const std::string& text) {
    if (env.message)
        env.message(id, text);
}

}  // namespace

std::string StepName(const EngineStep& step) {
    std::string name = step.ns + ":" + step.function;
    if (step.line > 0)
        name += " (line " + std::to_string(step.line) + ")";
    return name;
}

const Json& StepArgument(const EngineStep& step, size_t index, const char* what) {
    if (step.configs.size() <= index)
        throw EngineError(StepName(step) + ": the " + what + " argument is missing");
    return step.configs[index];
}

std::vector<std::string> ContainerPaths(const EngineStep& step, const Json& descriptors,
                                        const JobEnvironment& env, ContainerRole role) {
    const char* what = role == ContainerRole::Output ? "output" : "input";
    if (!descriptors.is_array() || descriptors.empty())
        throw EngineError(StepName(step) + ": the " + what +
                          " containers must be a non-empty array");
    // An input may also be a container the job registered for output (written by an earlier job).
    std::vector<EmbeddedQE::Container*> registered = env.outputContainers;
    if (role == ContainerRole::Input)
        registered.insert(registered.begin(), env.inputContainers.begin(),
                          env.inputContainers.end());
    std::vector<std::string> paths;
    for (const Json& descriptor : descriptors) {
        auto name = descriptor.is_object() ? descriptor.find("name") : descriptor.end();
        if (!descriptor.is_object() || name == descriptor.end() || !name->is_string())
            throw EngineError(StepName(step) + ": an " + what + " container needs a \"name\"");
        std::string path;
        for (EmbeddedQE::Container* container : registered) {
            if (path.empty() && container != nullptr &&
                container->getName() == name->get<std::string>())
                path = container->getAbsolutePath();
        }
        if (path.empty()) {
            auto uri = descriptor.find("uri");
            if (uri == descriptor.end() || !uri->is_string() || uri->get<std::string>().empty()) {
                throw EngineError(StepName(step) + ": " + what + " container '" +
                                  name->get<std::string>() + "' has no location");
            }
            path = PathFromUri(uri->get<std::string>());
        }
        paths.push_back(path);
    }
    return paths;
}

bool IsTsdpStep(const EngineStep& step) {
    return step.ns == "tsdp" && step.function == "tsdp";
}

bool IsTcmBuildStep(const EngineStep& step) {
    return step.ns == "tcm" && step.function == "build";
}

std::unique_ptr<RowSource> RunTsdpStep(const EngineStep& step, RowSource& input,
                                       JobEnvironment& env, float from, float to) {
    const Json& settingsJson = StepArgument(step, 0, "settings");
    const TsdpSettings settings = ParseTsdpSettings(settingsJson);
    const std::vector<std::string> paths = ContainerPaths(
        step, StepArgument(step, 1, "output containers"), env, ContainerRole::Output);
    TsdpResult result = PrepareSeries(input, settings, Pacer(env, input, from, to));
    const std::string document = TsdpOutputDocument(settingsJson, settings, result).dump();
    for (const std::string& path : paths)
        WriteZipArchive(path, {{"TSDPOutput.json", document}});
    Report(env, "TSDP_DONE",
           "tsdp: " + std::to_string(result.records) + " records into " +
               std::to_string(result.seriesCount()) + " series of " +
               std::to_string(result.periods) + " time points" +
               (result.skippedRecords > 0 ? "; " + std::to_string(result.skippedRecords) +
                                                " records without dimension or time value skipped"
                                          : ""));
    return std::make_unique<OwningPreparedRows>(std::move(result));
}

void RunTcmBuildStep(const EngineStep& step, RowSource& input, JobEnvironment& env, float from,
                     float to) {
    const Json& configuration = StepArgument(step, 0, "configuration");
    const TsdpSettings settings = ParseTsdpSettings(configuration);
    const TcmSettings model = ParseTcmSettings(configuration);
    const std::vector<std::string> paths = ContainerPaths(
        step, StepArgument(step, 1, "output containers"), env, ContainerRole::Output);
    const TsdpResult data = PrepareSeries(input, settings, Pacer(env, input, from, to));
    const TcmModelSet models = FitTcm(data, model);
    for (const TcmSeriesModel& m : models.models) {
        for (const std::string& note : m.notes)
            Report(env, "TCM_NOTE",
                   "tcm:build: series " + models.seriesIds[m.series] + ": " + note);
    }
    const std::vector<std::pair<std::string, std::string>> entries{
        {"TSDPOutput.json", TsdpOutputDocument(configuration, settings, data).dump()},
        {"StatXML.xml", TcmStatXml(data)},
        {"TCMGraph.json", TcmGraphDocument(models, data).dump()},
        {"TCMModel.json", TcmModelDocument(models, data).dump()},
    };
    for (const std::string& path : paths)
        WriteZipArchive(path, entries);
    size_t fitted = 0;
    for (const TcmSeriesModel& m : models.models)
        fitted += m.fitted ? 1 : 0;
    Report(env, "TCM_DONE",
           "tcm:build: " + std::to_string(fitted) + " of " + std::to_string(models.models.size()) +
               " series modelled on " + std::to_string(data.periods) + " time points");
}

}  // namespace qelocal
