#include "qeinteg/platform/engine/job/JobPlan.h"

#include <filesystem>
#include <fstream>

#include "qeinteg/platform/engine/exec/AggregateOperator.h"
#include "qeinteg/platform/engine/exec/JoinOperator.h"
#include "qeinteg/platform/engine/exec/RecordOperators.h"
#include "qeinteg/platform/engine/exec/ReprojectionOperator.h"
#include "qeinteg/platform/engine/exec/UnionOperator.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/RowSourceStream.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

bool Is(const QelCall& call, const char* function) {
    return call.function == function && (call.ns.empty() || call.ns == function);
}

const char* const kFunctions[] = {
    "read",          "write",          "filterFields",    "aggregate",
    "join",          "union",          "deriveFields",    "reclassifyField",
    "filterRecords", "balanceRecords", "updateDataModel", "dataModelBuilder",
    "descriptives",  "reprojection"};

// The configuration values of a call, a list configuration ("[a, b]") opened into its items.
std::vector<Json> Configs(const JobGraph& graph, const QelCall& call) {
    std::vector<Json> out;
    for (const JsonValue* v : graph.configurations(call))
        out.push_back(*v);
    return out;
}

// dataModelBuilder: passes the records on and, at their end, writes their data model to the
// export container (normalised when asked: settled storages, measures by storage, roles set).
class ModelExportOperator final : public BatchStream {
  public:
    ModelExportOperator(std::unique_ptr<BatchStream> input, std::string path, bool normalize)
        : input_(std::move(input)), path_(std::move(path)), normalize_(normalize) {}
    const std::vector<EngineField>& fields() const override { return input_->fields(); }
    bool next(Batch& out) override {
        if (done_)
            return false;
        if (input_->next(out))
            return true;
        std::vector<EngineField> fields = input_->fields();
        if (normalize_) {
            for (EngineField& f : fields) {
                if (f.geo)
                    continue;  // geometry keeps its own description
                if (f.storage == Storage::Unknown)
                    f.storage = Storage::String;
                if (f.measure == Measure::Typeless)
                    f.measure =
                        f.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
                if (f.role.empty())
                    f.role = "input";
            }
        }
        std::ofstream file(path_, std::ios::binary | std::ios::trunc);
        file << DataModelDocument(fields);
        file.close();
        if (!file)
            throw EngineError("dataModelBuilder: cannot write " + path_);
        done_ = true;
        return false;
    }

  private:
    std::unique_ptr<BatchStream> input_;
    std::string path_;
    bool normalize_;
    bool done_ = false;
};

}  // namespace

std::string JobPlan::Describe(const QelCall& call) {
    std::string name = call.ns.empty() ? call.function : call.ns + ":" + call.function;
    if (call.pos.line > 0)
        name += " (line " + std::to_string(call.pos.line) + ", column " +
                std::to_string(call.pos.column) + ")";
    return name;
}

JobPlan::JobPlan(const JobGraph& graph, JobEnvironment& env) : graph_(graph), env_(env) {
    exec_.cancelled = env.cancelled;
    exec_.message = env.message;
    exec_.progress = [this](float value) {
        if (value > lastProgress_ && env_.progress) {
            lastProgress_ = value;
            env_.progress(value);
        }
    };
    consumers_.assign(graph.calls.size(), 0);
    readerOrder_.assign(graph.calls.size(), -1);
    for (size_t i = 0; i < graph.calls.size(); ++i) {
        for (const QelInput& in : graph.calls[i].inputs) {
            if (in.call >= 0 && static_cast<size_t>(in.call) < consumers_.size())
                ++consumers_[static_cast<size_t>(in.call)];
        }
        if (Is(graph.calls[i], "read"))
            readerOrder_[i] = readers_++;
    }
}

JobPlan::~JobPlan() = default;

void JobPlan::validate() const {
    for (const QelCall& call : graph_.calls) {
        bool known = false;
        for (const char* f : kFunctions)
            known |= Is(call, f);
        if (!known)
            throw EngineError("unknown function " + Describe(call), "UNKNOWN_FUNCTION");
        const std::string where = Describe(call);
        const size_t inputs = call.inputs.size();
        const std::vector<Json> configs = Configs(graph_, call);
        const size_t lambdas = graph_.lambdas(call).size();
        auto needConfig = [&](bool object) {
            if (configs.empty())
                throw EngineError(where + ": the configuration argument is missing",
                                  "BAD_CONFIGURATION");
            if (object && !configs[0].is_object())
                throw EngineError(where + ": the configuration must be a JSON object, not " +
                                      std::string(configs[0].type_name()),
                                  "BAD_CONFIGURATION");
        };
        if (Is(call, "read")) {
            if (inputs != 0)
                throw EngineError(where + ": read takes no input", "BAD_CONFIGURATION");
            needConfig(true);
            continue;
        }
        if (inputs == 0)
            throw EngineError(where + ": the function has no input", "BAD_CONFIGURATION");
        if (Is(call, "join") || Is(call, "union")) {
            if (Is(call, "join"))
                needConfig(true);
            continue;
        }
        if (inputs != 1)
            throw EngineError(
                where + ": the function takes one input, it is given " + std::to_string(inputs),
                "BAD_CONFIGURATION");
        if (Is(call, "deriveFields") || Is(call, "reclassifyField") || Is(call, "filterRecords") ||
            Is(call, "balanceRecords")) {
            if (lambdas != 1)
                throw EngineError(where + ": the function needs one expression",
                                  "BAD_CONFIGURATION");
            continue;
        }
        if (Is(call, "dataModelBuilder") || Is(call, "descriptives")) {
            needConfig(false);
            continue;
        }
        needConfig(true);
    }
}

std::unique_ptr<BatchStream> JobPlan::inputOf(const QelCall& call, size_t index) {
    return build(call.inputs.at(index).call);
}

std::unique_ptr<BatchStream> JobPlan::build(int index) {
    if (consumers_[static_cast<size_t>(index)] > 1) {
        auto& shared = shared_[index];
        if (!shared)
            shared = std::make_shared<SharedResult>(buildCall(index));
        return std::make_unique<SharedReader>(shared);
    }
    return buildCall(index);
}

std::unique_ptr<BatchStream> JobPlan::buildCall(int index) {
    const QelCall& call = graph_.calls.at(static_cast<size_t>(index));
    const std::string where = Describe(call);
    const std::vector<Json> configs = Configs(graph_, call);
    const std::vector<std::string> lambdas = graph_.lambdas(call);
    const Json none;
    const Json& config = configs.empty() ? none : configs[0];
    if (Is(call, "read")) {
        EngineStep step{call.ns, call.function, configs, call.pos.line};
        std::unique_ptr<RowSource> source;
        try {
            source = OpenReadSource(step, env_);
        } catch (const EngineError& e) {
            // The reader names itself by line only; add the column.
            std::string text = e.what();
            if (text.rfind("read (line", 0) == 0)
                text = where + text.substr(text.find(')') + 1);
            throw EngineError(text, e.id());
        }
        const int order = readerOrder_[static_cast<size_t>(index)];
        const float share = 1.0f / static_cast<float>(std::max(readers_, 1));
        return std::make_unique<RowSourceStream>(std::move(source), exec_, share * order,
                                                 share * (order + 1));
    }
    if (Is(call, "join") || Is(call, "union")) {
        std::vector<JoinInput> inputs;
        for (size_t i = 0; i < call.inputs.size(); ++i)
            inputs.push_back(JoinInput{call.inputs[i].tag, inputOf(call, i)});
        if (Is(call, "join"))
            return std::make_unique<JoinOperator>(std::move(inputs), config, where, exec_);
        return std::make_unique<UnionOperator>(std::move(inputs), config, where);
    }
    std::unique_ptr<BatchStream> input = inputOf(call, 0);
    if (Is(call, "write")) {
        return std::make_unique<WriteOperator>(
            std::move(input), config, where, env_,
            [this](const WrittenOutput& output) { written_.push_back(output); });
    }
    if (Is(call, "filterFields"))
        return std::make_unique<FilterFieldsOperator>(std::move(input), config, where);
    if (Is(call, "aggregate"))
        return std::make_unique<AggregateOperator>(std::move(input), config, where, exec_);
    if (Is(call, "deriveFields"))
        return std::make_unique<DeriveOperator>(std::move(input), lambdas[0], false, where);
    if (Is(call, "reclassifyField"))
        return std::make_unique<DeriveOperator>(std::move(input), lambdas[0], true, where);
    if (Is(call, "filterRecords"))
        return std::make_unique<FilterRecordsOperator>(std::move(input), lambdas[0], where);
    if (Is(call, "balanceRecords"))
        return std::make_unique<BalanceOperator>(std::move(input), lambdas[0], where);
    if (Is(call, "updateDataModel"))
        return std::make_unique<UpdateDataModelOperator>(std::move(input), config, where);
    if (Is(call, "reprojection"))
        return std::make_unique<ReprojectionOperator>(std::move(input), config, where);
    if (Is(call, "dataModelBuilder")) {
        std::vector<Json> items;
        for (const Json& c : configs) {
            if (c.is_array())
                items.insert(items.end(), c.begin(), c.end());
            else
                items.push_back(c);
        }
        bool normalize = false;
        const Json* exportTo = nullptr;
        for (const Json& item : items) {
            if (item.is_object() && item.contains("normalizeDataModel"))
                normalize = item["normalizeDataModel"].is_boolean() &&
                            item["normalizeDataModel"].get<bool>();
            else if (item.is_object() && item.contains("name"))
                exportTo = &item;
        }
        if (exportTo == nullptr)
            throw EngineError(where +
                                  ": no export container {\"export\":true,\"name\":...,"
                                  "\"uri\":...} is given",
                              "BAD_CONFIGURATION");
        const std::string name = (*exportTo)["name"].is_string()
                                     ? (*exportTo)["name"].get<std::string>()
                                     : std::string();
        std::string path;
        for (EmbeddedQE::Container* c : env_.outputContainers) {
            if (c != nullptr && c->getName() == name)
                path = c->getAbsolutePath();
        }
        if (path.empty() && exportTo->contains("uri") && (*exportTo)["uri"].is_string())
            path = ResolveJobPath((*exportTo)["uri"].get<std::string>(), env_);
        if (path.empty())
            throw EngineError(where + ": the export container '" + name + "' has no location",
                              "BAD_CONFIGURATION");
        return std::make_unique<ModelExportOperator>(std::move(input), path, normalize);
    }
    throw EngineError(where + ": cannot be run here", "BAD_CONFIGURATION");
}

void JobPlan::drain(int index) {
    const QelCall& call = graph_.calls.at(static_cast<size_t>(index));
    if (Is(call, "descriptives")) {
        std::unique_ptr<BatchStream> input = inputOf(call, 0);
        BatchRowSource source(*input);
        JobEnvironment env = env_;
        env.progress = nullptr;  // the readers report progress
        EngineStep step{call.ns, call.function, Configs(graph_, call), call.pos.line};
        RunDescriptivesStep(step, source, env, 0, 1);
        return;
    }
    std::unique_ptr<BatchStream> root = build(index);
    Batch batch;
    while (root->next(batch))
        exec_.checkCancel();
}

void JobPlan::run() {
    validate();
    exec_.checkCancel();
    try {
        for (size_t i = 0; i < graph_.calls.size(); ++i) {
            if (consumers_[i] == 0)
                drain(static_cast<int>(i));
        }
    } catch (...) {
        shared_.clear();
        for (const WrittenOutput& output : written_) {
            std::error_code ignored;
            std::filesystem::remove(output.dataPath, ignored);
            if (!output.modelPath.empty())
                std::filesystem::remove(output.modelPath, ignored);
        }
        written_.clear();
        throw;
    }
    if (env_.progress)
        env_.progress(1.0f);
}

}  // namespace qelocal
