#include "qeinteg/platform/engine/exec/EngineJob.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "qeinteg/platform/engine/geo/GdalLibrary.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/CsvWriter.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/io/QebfFile.h"
#include "qeinteg/platform/engine/io/ZipOutput.h"
#include "qeinteg/platform/engine/stats/Descriptives.h"
#include "qeinteg/platform/engine/stats/DescriptivesOutput.h"
#include "qeinteg/platform/engine/tsdp/TcmScoringSteps.h"
#include "qeinteg/platform/engine/tsdp/TsdpSteps.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

// Records between two progress reports, and between two looks at the cancel request (which may
// take a lock).
constexpr uint64_t kProgressEvery = 1024;
constexpr uint64_t kCancelEvery = 64;

std::string CallName(const EngineStep& step) {
    std::string name = step.ns.empty() ? step.function : step.ns + ":" + step.function;
    if (step.line > 0)
        name += " (line " + std::to_string(step.line) + ")";
    return name;
}

bool Is(const EngineStep& step, const char* function) {
    return step.function == function && (step.ns.empty() || step.ns == function);
}

const Json& Config(const EngineStep& step, size_t index, const char* what) {
    if (step.configs.size() <= index) {
        throw EngineError(CallName(step) + ": the " + what + " argument is missing");
    }
    return step.configs[index];
}

std::string StringMember(const Json& object, const char* key, const std::string& context) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        throw EngineError(context + ": \"" + key + "\" must be a text");
    }
    return it->get<std::string>();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EngineError("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out)
        throw EngineError("cannot write " + path);
}

// Stops after a number of records ("maxRecordsCount").
class LimitedSource final : public RowSource {
  public:
    LimitedSource(std::unique_ptr<RowSource> inner, uint64_t limit)
        : inner_(std::move(inner)), limit_(limit) {}
    const std::vector<EngineField>& fields() const override { return inner_->fields(); }
    bool next() override { return read_ < limit_ && inner_->next() && ++read_ > 0; }
    Cell cell(size_t index) override { return inner_->cell(index); }
    size_t nextBatch(Batch& out, size_t maxRows) override {
        const size_t n =
            read_ < limit_
                ? inner_->nextBatch(
                      out, static_cast<size_t>(std::min<uint64_t>(maxRows, limit_ - read_)))
                : 0;
        read_ += n;
        return n;
    }
    double fraction() const override { return inner_->fraction(); }

  private:
    std::unique_ptr<RowSource> inner_;
    uint64_t limit_;
    uint64_t read_ = 0;
};

// A QEBF file read with its data model: the file's records, described by the model, which adds
// what the file's own header has no room for (labels, geometry metadata).
class DescribedSource final : public RowSource {
  public:
    DescribedSource(std::unique_ptr<RowSource> inner, std::vector<EngineField> fields)
        : inner_(std::move(inner)), fields_(std::move(fields)) {}
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return inner_->next(); }
    Cell cell(size_t index) override { return inner_->cell(index); }
    double fraction() const override { return inner_->fraction(); }

  private:
    std::unique_ptr<RowSource> inner_;
    std::vector<EngineField> fields_;
};

// "readErrorThreshold": absent or 0, the first bad record fails the read; -1, bad records are
// skipped without limit; N > 0, up to N are skipped and the next fails the read. Skipped records
// are counted in one message when the reader is done (or as it goes, one message per record).
std::function<void(const std::string&)> BadRecordHandler(const Json& conf,
                                                         const std::string& context,
                                                         JobEnvironment& env) {
    auto it = conf.find("readErrorThreshold");
    if (it == conf.end())
        return {};
    if (!it->is_number_integer() || it->get<int64_t>() < -1)
        throw EngineError(context + ": \"readErrorThreshold\" must be -1 or a non-negative integer",
                          "BAD_CONFIGURATION");
    const int64_t limit = it->get<int64_t>();
    if (limit == 0)
        return {};
    auto count = std::make_shared<int64_t>(0);
    return [limit, count, context, &env](const std::string& why) {
        ++*count;
        if (limit >= 0 && *count > limit) {
            throw EngineError(
                context + ": more than " + std::to_string(limit) + " bad records; the last: " + why,
                "READ_ERROR_THRESHOLD");
        }
        if (env.message)
            env.message("BAD_RECORD_SKIPPED",
                        context + ": skipped bad record " + std::to_string(*count) + ": " + why);
    };
}

}  // namespace

std::unique_ptr<RowSource> OpenReadSource(const EngineStep& step, JobEnvironment& env,
                                          bool provisionalTypes) {
    const Json& conf = Config(step, 0, "reader configuration");
    const std::string context = CallName(step);
    if (!conf.is_object())
        throw EngineError(context + ": the configuration must be an object");
    std::unique_ptr<RowSource> source;
    if (auto it = conf.find("dataSource"); it != conf.end()) {
        if (!it->is_string())
            throw EngineError(context + ": \"dataSource\" must be a text");
        const std::string name = it->get<std::string>();
        for (EmbeddedQE::RowDataIterator* iterator : env.inputIterators) {
            if (iterator != nullptr && iterator->getName() == name) {
                source = std::make_unique<IteratorRowSource>(*iterator);
                break;
            }
        }
        if (!source && !env.analyticRoot.empty()) {
            const std::string data = DataSourcePath(name, env);
            if (std::ifstream(data).good())
                source = std::make_unique<QebfRowSource>(data);
        }
        if (!source)
            throw EngineError(
                context + ": no input iterator or engine data source is named '" + name + "'",
                "UNKNOWN_DATA_SOURCE");
    } else if (auto fs = conf.find("filesystem"); fs != conf.end() && fs->is_object()) {
        auto locations = fs->find("locations");
        if (locations == fs->end() || !locations->is_array() || locations->size() != 1 ||
            !(*locations)[0].is_object()) {
            throw EngineError(context + ": \"locations\" must hold exactly one location");
        }
        const Json& location = (*locations)[0];
        const std::string path = ResolveJobPath(StringMember(location, "path", context), env);
        std::string parser = "csv";
        Json parserConfig = Json::object();
        if (auto p = location.find("parser"); p != location.end() && p->is_object()) {
            parser = StringMember(*p, "name", context);
            if (auto c = p->find("config"); c != p->end() && c->is_object())
                parserConfig = *c;
        }
        std::optional<std::vector<EngineField>> model;
        if (auto m = fs->find("dataModel"); m != fs->end()) {
            if (!m->is_string())
                throw EngineError(context + ": \"dataModel\" must be a text");
            if (!m->get<std::string>().empty()) {
                model =
                    ParseDataModelXml(ReadWholeFile(ResolveJobPath(m->get<std::string>(), env)));
            }
        }
        if (parser == "csv" || parser == "sav") {
            // The local host's data files are case files: CSV whose first line names the fields.
            bool hasHeader = true;
            if (auto h = parserConfig.find("hasHeader");
                parser == "csv" && h != parserConfig.end() && h->is_boolean()) {
                hasHeader = h->get<bool>();
            }
            // A record limit hides restarts from the consumer: storages are then settled first.
            const CsvTyping typing = provisionalTypes && !conf.contains("maxRecordsCount")
                                         ? CsvTyping::Provisional
                                         : CsvTyping::Settled;
            source = std::make_unique<CsvRowSource>(path, hasHeader, std::move(model),
                                                    BadRecordHandler(conf, context, env), typing);
        } else if (parser == "qebf") {
            source = std::make_unique<QebfRowSource>(path);
            if (model) {
                const auto& fields = source->fields();
                bool same = model->size() == fields.size();
                for (size_t i = 0; same && i < fields.size(); ++i) {
                    same = (*model)[i].name == fields[i].name &&
                           (*model)[i].storage == fields[i].storage;
                }
                if (!same) {
                    throw EngineError(context + ": the data model does not describe " + path);
                }
                source = std::make_unique<DescribedSource>(std::move(source), std::move(*model));
            }
        } else {
            throw EngineError(context + ": the parser '" + parser + "' is not supported");
        }
    } else if (auto geo = conf.find("geospatial"); geo != conf.end() && geo->is_object()) {
        const std::string type = StringMember(*geo, "type", context);
        const std::string location = StringMember(*geo, "location", context);
        if (type == "shp") {
            source = qelocal::geo::GdalLibrary().openShape(ResolveJobPath(location, env), context);
        } else if (type == "mps") {
            auto layer = geo->find("queryLayer");
            if (layer == geo->end() || !layer->is_number_integer())
                throw EngineError(context + ": \"queryLayer\" must be an integer",
                                  "BAD_CONFIGURATION");
            source = qelocal::geo::GdalLibrary().openService(location, layer->get<int>(),
                                                             env.mapServiceTimeout, context);
        } else {
            throw EngineError(
                context + ": the geospatial type '" + type + "' is neither \"shp\" nor \"mps\"",
                "BAD_CONFIGURATION");
        }
    } else {
        throw EngineError(
            context +
                ": only \"dataSource\", \"filesystem\" and \"geospatial\" sources are supported",
            "BAD_CONFIGURATION");
    }
    if (auto max = conf.find("maxRecordsCount"); max != conf.end()) {
        if (!max->is_number_integer() || max->get<int64_t>() < 0) {
            throw EngineError(context + ": \"maxRecordsCount\" must be a non-negative integer");
        }
        source = std::make_unique<LimitedSource>(std::move(source), max->get<uint64_t>());
    }
    return source;
}

namespace {

// Reports progress and polls cancellation while records are pulled.
class RowPacer {
  public:
    RowPacer(JobEnvironment& env, const RowSource& source, float from, float to)
        : env_(env), source_(source), from_(from), to_(to) {}

    void operator()(uint64_t records) {
        if (env_.cancelled && env_.cancelled())
            throw EngineCancelled();
        if (records % kProgressEvery != 0 || !env_.progress)
            return;
        double fraction = source_.fraction();
        // Without a known total the fraction approaches one without reaching it.
        if (fraction < 0)
            fraction = static_cast<double>(records) / (static_cast<double>(records) + 100000.0);
        const float value = from_ + (to_ - from_) * static_cast<float>(fraction);
        if (value > last_) {
            last_ = value;
            env_.progress(value);
        }
    }

  private:
    JobEnvironment& env_;
    const RowSource& source_;
    float from_;
    float to_;
    float last_ = -1.0f;
};

std::string ContainerPath(const Json& descriptor, JobEnvironment& env, const std::string& context,
                          std::string& name) {
    if (!descriptor.is_object())
        throw EngineError(context + ": an output container must be an object");
    name = StringMember(descriptor, "name", context);
    for (EmbeddedQE::Container* container : env.outputContainers) {
        if (container != nullptr && container->getName() == name)
            return container->getAbsolutePath();
    }
    auto uri = descriptor.find("uri");
    if (uri == descriptor.end() || !uri->is_string() || uri->get<std::string>().empty()) {
        throw EngineError(context + ": output container '" + name + "' has no location");
    }
    return PathFromUri(uri->get<std::string>());
}

// Passes an XML document on to a zip entry as it is written.
class SinkXmlWriter final : public pugi::xml_writer {
  public:
    explicit SinkXmlWriter(const ZipSink& sink) : sink_(sink) {}
    void write(const void* data, size_t size) override {
        sink_(std::string_view(static_cast<const char*>(data), size));
    }

  private:
    const ZipSink& sink_;
};

}  // namespace

void RunDescriptivesStep(const EngineStep& step, RowSource& source, JobEnvironment& env, float from,
                         float to) {
    const std::string context = CallName(step);
    const Json& settingsJson = Config(step, 0, "settings");
    const Json& outputs = Config(step, 1, "output containers");
    if (!outputs.is_array())
        throw EngineError(context + ": the output containers must be an array");
    DescriptivesSettings settings = ParseDescriptivesSettings(settingsJson.dump());
    // Resolve the outputs before pulling records, so that a bad descriptor costs no pass.
    std::vector<std::pair<std::string, std::string>> targets;  // name, path
    for (const Json& descriptor : outputs) {
        std::string name;
        std::string path = ContainerPath(descriptor, env, context, name);
        targets.emplace_back(name, path);
    }
    RowPacer pacer(env, source, from, to);
    // A CSV file read in one pass may start over once its storages are settled.
    std::function<uint64_t()> restarts;
    if (const auto* csv = dynamic_cast<const CsvRowSource*>(&source))
        restarts = [csv] { return csv->restarts(); };
    const DescriptivesResult result =
        ComputeDescriptives(source, settings, std::ref(pacer), restarts);
    const bool dates =
        !settings.stdDateTimeFields.empty() || !settings.nonStdDateTimeFields.empty();
    for (const auto& [name, path] : targets) {
        std::vector<ZipEntry> entries;
        if (name == "StatXML") {
            entries.push_back(ZipEntry{"StatXML.xml", [&result](const ZipSink& sink) {
                                           SinkXmlWriter out(sink);
                                           WriteStatXml(result, out);
                                       }});
        }
        if (name == "JSON" && dates) {
            entries.push_back(ZipEntry{"TIME_INTERVAL.json", [&result](const ZipSink& sink) {
                                           sink(TimeIntervalDocument(result));
                                       }});
        }
        WriteZipArchive(path, entries);
    }
    if (env.message) {
        env.message("DESCRIPTIVES_DONE", "descriptives: " + std::to_string(result.records) +
                                             " records, " + std::to_string(result.fields.size()) +
                                             " fields summarised");
    }
}

namespace {

// Removes the files of the writes that finished when a later part of the job fails.
class WrittenFiles {
  public:
    ~WrittenFiles() {
        if (kept_)
            return;
        for (const std::string& path : paths_)
            std::remove(path.c_str());
    }
    void add(const std::string& path) {
        if (!path.empty())
            paths_.push_back(path);
    }
    void keep() { kept_ = true; }

  private:
    std::vector<std::string> paths_;
    bool kept_ = false;
};

void RunWrite(const EngineStep& step, RowSource& source, JobEnvironment& env, float from, float to,
              WrittenFiles& written) {
    const std::string context = CallName(step);
    const Json& conf = Config(step, 0, "writer configuration");
    if (!conf.is_object())
        throw EngineError(context + ": the configuration must be an object");
    if (conf.contains("dataSource")) {
        throw EngineError(context + ": writing to an engine data source is not supported");
    }
    const std::string data = PathFromUri(StringMember(conf, "dataDestination", context));
    std::string model;
    if (auto m = conf.find("dataModelDestination"); m != conf.end()) {
        if (!m->is_string())
            throw EngineError(context + ": \"dataModelDestination\" must be a text");
        model = PathFromUri(m->get<std::string>());
    }
    const std::string type = StringMember(conf, "type", context);
    RowPacer pacer(env, source, from, to);
    uint64_t records = 0;
    if (type == "qebf") {
        QebfWriter writer(data, source.fields());
        while (source.next()) {
            writer.writeRecord(source);
            pacer(++records);
        }
        writer.finish();
    } else if (type == "text/csv" || type == "csv") {
        CsvWriter writer(data, source.fields());
        while (source.next()) {
            writer.writeRecord(source);
            pacer(++records);
        }
        writer.finish();
    } else {
        throw EngineError(context + ": the type '" + type + "' is not supported");
    }
    if (!model.empty())
        WriteWholeFile(model, DataModelDocument(source.fields()));
    written.add(data);
    written.add(model);
    if (env.written)
        env.written(data, model, type != "qebf", source.fields());
}

}  // namespace

std::string ResolveJobPath(const std::string& uri, const JobEnvironment& env) {
    std::string path = PathFromUri(uri);
    if (!path.empty() && path[0] != '/' && !env.analyticRoot.empty()) {
        std::string root = env.analyticRoot;
        if (root.back() != '/')
            root += '/';
        path = root + "keld/public/" + path;
    }
    return path;
}

std::string DataSourcePath(const std::string& name, const JobEnvironment& env) {
    std::string root = env.analyticRoot;
    if (!root.empty() && root.back() != '/')
        root += '/';
    return root + "datasources/" + name + ".qebf";
}

std::string DataSourceModelPath(const std::string& name, const JobEnvironment& env) {
    std::string root = env.analyticRoot;
    if (!root.empty() && root.back() != '/')
        root += '/';
    return root + "datasources/" + name + ".xml";
}

std::string PathFromUri(const std::string& uri) {
    if (uri.rfind("file:", 0) != 0)
        return uri;
    std::string rest = uri.substr(5);
    if (rest.rfind("///", 0) == 0)
        return rest.substr(3);
    if (rest.rfind("//", 0) == 0)
        return rest.substr(2);
    return rest;
}

namespace {

// Functions that turn the records piped into them into other records.
bool IsRecordProducer(const EngineStep& step) {
    return IsTsdpStep(step) || IsTcmScoreStep(step) || IsRtsdpStep(step);
}

// Functions that end a pipeline by consuming its records.
bool IsConsumer(const EngineStep& step) {
    return Is(step, "descriptives") || Is(step, "write") || IsTcmBuildStep(step) ||
           IsTcmOutputStep(step);
}

// Functions that read no records and may stand alone on their line.
bool IsStandalone(const EngineStep& step) {
    return IsModelCapabilitiesStep(step) || IsTcmOutputStep(step);
}

}  // namespace

void ValidatePipelines(const std::vector<EnginePipeline>& pipelines) {
    for (const EnginePipeline& pipeline : pipelines) {
        for (size_t i = 0; i < pipeline.size(); ++i) {
            const EngineStep& step = pipeline[i];
            const bool known = Is(step, "read") || IsRecordProducer(step) || IsConsumer(step) ||
                               IsStandalone(step);
            if (!known)
                throw EngineError("unknown function " + CallName(step), "UNKNOWN_FUNCTION");
            if (pipeline.size() == 1 && IsStandalone(step))
                continue;
            if ((i == 0) != Is(step, "read")) {
                throw EngineError(CallName(step) + ": " +
                                  (i == 0 ? "a pipeline must begin with read"
                                          : "read can only begin a pipeline"));
            }
            if (IsModelCapabilitiesStep(step))
                throw EngineError(CallName(step) + ": it reads no records and stands alone");
            // Record-producing functions may stand between read and the consumer.
            if (i > 0 && i + 1 < pipeline.size() && !IsRecordProducer(step))
                throw EngineError(CallName(step) + ": only one function can follow read");
            if (i > 0 && i + 1 == pipeline.size() && !IsConsumer(step))
                throw EngineError(CallName(step) + ": nothing consumes the records it gives");
        }
        if (pipeline.size() == 1 && !IsStandalone(pipeline[0])) {
            throw EngineError(CallName(pipeline[0]) + ": nothing consumes the records");
        }
    }
}

void RunPipelines(const std::vector<EnginePipeline>& pipelines, JobEnvironment& env) {
    ValidatePipelines(pipelines);
    if (env.cancelled && env.cancelled())
        throw EngineCancelled();
    WrittenFiles written;
    const float share = pipelines.empty() ? 1.0f : 1.0f / static_cast<float>(pipelines.size());
    for (size_t p = 0; p < pipelines.size(); ++p) {
        const EnginePipeline& pipeline = pipelines[p];
        const float from = share * static_cast<float>(p);
        const float to = from + share;
        if (pipeline.size() == 1) {
            if (IsModelCapabilitiesStep(pipeline[0]))
                RunModelCapabilitiesStep(pipeline[0], env);
            else
                RunTcmOutputStep(pipeline[0], nullptr, env);
            if (env.progress)
                env.progress(to);
            continue;
        }
        // A CSV file read straight into descriptives needs one pass only.
        const bool provisional = pipeline.size() == 2 && Is(pipeline.back(), "descriptives");
        std::unique_ptr<RowSource> source = OpenReadSource(pipeline[0], env, provisional);
        for (size_t i = 1; i + 1 < pipeline.size(); ++i) {
            const EngineStep& step = pipeline[i];
            if (IsTsdpStep(step))
                source = RunTsdpStep(step, *source, env, from, to);
            else if (IsTcmScoreStep(step))
                source = RunTcmScoreStep(step, *source, env);
            else
                source = RunRtsdpStep(step, *source, env);
        }
        const EngineStep& sink = pipeline.back();
        if (IsTcmBuildStep(sink)) {
            RunTcmBuildStep(sink, *source, env, from, to);
        } else if (IsTcmOutputStep(sink)) {
            RunTcmOutputStep(sink, source.get(), env);
        } else if (Is(sink, "descriptives")) {
            RunDescriptivesStep(sink, *source, env, from, to);
        } else {
            RunWrite(sink, *source, env, from, to, written);
        }
        if (env.progress)
            env.progress(to);
    }
    written.keep();
}

}  // namespace qelocal
