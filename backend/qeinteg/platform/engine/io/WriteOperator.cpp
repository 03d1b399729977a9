#include "qeinteg/platform/engine/io/WriteOperator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "qeinteg/platform/engine/io/CsvWriter.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/QebfFile.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

// One row of a batch seen as a RowSource, for the record writers.
class BatchCursor final : public RowSource {
  public:
    BatchCursor(const std::vector<EngineField>& fields) : fields_(fields) {}
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return false; }
    Cell cell(size_t index) override {
        Cell cell;
        const Column& c = batch->columns[index];
        if (!c.valid[row])
            return cell;
        cell.missing = false;
        if (c.isString())
            cell.text = c.str[row];
        else
            cell.number = c.num[row];
        return cell;
    }
    const Batch* batch = nullptr;
    size_t row = 0;

  private:
    const std::vector<EngineField>& fields_;
};

std::string Text(const Json& config, const char* key, const std::string& context) {
    auto it = config.find(key);
    if (it == config.end() || !it->is_string())
        throw EngineError(context + ": \"" + key + "\" must be a text", "BAD_CONFIGURATION");
    return it->get<std::string>();
}

}  // namespace

class WriteOperator::Sink {
  public:
    Sink(const std::string& path, const std::vector<EngineField>& fields, bool csv, bool geojson,
         const std::optional<GeoJsonMetadata>& metadata)
        : cursor_(fields) {
        if (geojson)
            geojson_ = std::make_unique<GeoJsonWriter>(path, fields, metadata);
        else if (csv)
            csv_ = std::make_unique<CsvWriter>(path, fields);
        else
            qebf_ = std::make_unique<QebfWriter>(path, fields);
    }
    void write(const Batch& batch) {
        if (geojson_) {
            geojson_->write(batch);
            return;
        }
        cursor_.batch = &batch;
        for (size_t r = 0; r < batch.rows; ++r) {
            cursor_.row = r;
            if (csv_)
                csv_->writeRecord(cursor_);
            else
                qebf_->writeRecord(cursor_);
        }
    }
    void write(RowSource& source) {
        if (csv_)
            csv_->writeRecord(source);
        else
            qebf_->writeRecord(source);
    }
    void finish() {
        if (geojson_)
            geojson_->finish();
        else if (csv_)
            csv_->finish();
        else
            qebf_->finish();
    }

    // The fields as the model file describes them.
    std::vector<EngineField> fields(const std::vector<EngineField>& given) const {
        return geojson_ ? geojson_->writtenFields() : given;
    }

  private:
    BatchCursor cursor_;
    std::unique_ptr<GeoJsonWriter> geojson_;
    std::unique_ptr<CsvWriter> csv_;
    std::unique_ptr<QebfWriter> qebf_;
};

WriteOperator::WriteOperator(std::unique_ptr<BatchStream> input, const Json& config,
                             const std::string& context, const JobEnvironment& env,
                             std::function<void(const WrittenOutput&)> onFinished)
    : input_(std::move(input)), context_(context), onFinished_(std::move(onFinished)) {
    if (!config.is_object())
        throw EngineError(context + ": the configuration must be an object", "BAD_CONFIGURATION");
    output_.fields = input_->fields();
    if (config.contains("dataSource")) {
        dataSource_ = Text(config, "dataSource", context);
        if (dataSource_.empty() || dataSource_.find('/') != std::string::npos ||
            dataSource_.find("..") != std::string::npos)
            throw EngineError(context + ": '" + dataSource_ + "' cannot name a data source",
                              "BAD_CONFIGURATION");
        if (env.analyticRoot.empty())
            throw EngineError(context + ": the engine has no analytic root for data sources");
        std::string mode = "overwrite";
        if (config.contains("mode"))
            mode = Text(config, "mode", context);
        if (mode != "append" && mode != "overwrite")
            throw EngineError(context + ": the mode '" + mode + "' is neither append nor overwrite",
                              "BAD_CONFIGURATION");
        append_ = mode == "append";
        output_.dataPath = DataSourcePath(dataSource_, env);
        output_.modelPath = DataSourceModelPath(dataSource_, env);
        writePath_ = output_.dataPath + ".writing";
        return;
    }
    const std::string destination = Text(config, "dataDestination", context);
    output_.dataPath = ResolveJobPath(destination, env);
    // A relative destination lies in the engine's own tree, which it makes as needed.
    ownTree_ = PathFromUri(destination) != output_.dataPath;
    if (output_.dataPath.empty())
        throw EngineError(context + ": \"dataDestination\" is empty", "BAD_CONFIGURATION");
    if (config.contains("dataModelDestination")) {
        const std::string model = Text(config, "dataModelDestination", context);
        if (!model.empty())
            output_.modelPath = ResolveJobPath(model, env);
    }
    const std::string type = Text(config, "type", context);
    // The host data file of the local host is its case file: CSV with a header of names.
    if (type == "text/csv" || type == "csv" || type == "application/x-tavo-sav") {
        output_.csv = true;
    } else if (type.find("geojson") != std::string::npos ||
               type.find("geo+json") != std::string::npos) {
        output_.geojson = true;
        if (auto m = config.find("metadata"); m != config.end()) {
            if (!m->is_object())
                throw EngineError(context + ": \"metadata\" must be an object",
                                  "BAD_CONFIGURATION");
            metadata_ = GeoJsonMetadata{Text(*m, "resourceId", context), Text(*m, "key", context)};
        }
    } else if (type != "qebf")
        throw EngineError(context + ": the type '" + type + "' cannot be written",
                          "BAD_CONFIGURATION");
    writePath_ = output_.dataPath;
}

WriteOperator::~WriteOperator() {
    if (!finished_ && sink_) {
        sink_.reset();  // the record writers remove their unfinished files
        std::error_code ignored;
        std::filesystem::remove(writePath_, ignored);
    }
}

void WriteOperator::open() {
    if (!dataSource_.empty() || ownTree_) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(output_.dataPath).parent_path(),
                                            ignored);
    }
    sink_ =
        std::make_unique<Sink>(writePath_, output_.fields, output_.csv, output_.geojson, metadata_);
    if (append_ && std::filesystem::exists(output_.dataPath)) {
        QebfRowSource old(output_.dataPath);
        const auto& a = old.fields();
        const auto& b = output_.fields;
        bool same = a.size() == b.size();
        for (size_t i = 0; same && i < a.size(); ++i)
            same = a[i].name == b[i].name && a[i].storage == b[i].storage;
        if (!same)
            throw EngineError(context_ +
                                  ": the records do not have the fields of the data source '" +
                                  dataSource_ + "'",
                              "BAD_CONFIGURATION");
        while (old.next())
            sink_->write(old);
    }
}

void WriteOperator::finish() {
    if (!sink_)
        open();  // no records: an empty file with its header
    sink_->finish();
    output_.fields = sink_->fields(output_.fields);
    if (!output_.modelPath.empty()) {
        std::ofstream model(output_.modelPath, std::ios::binary | std::ios::trunc);
        model << DataModelDocument(output_.fields);
        model.close();
        if (!model)
            throw EngineError(context_ + ": cannot write " + output_.modelPath);
    }
    if (writePath_ != output_.dataPath) {
        std::error_code error;
        std::filesystem::rename(writePath_, output_.dataPath, error);
        if (error)
            throw EngineError(context_ + ": cannot replace " + output_.dataPath + ": " +
                              error.message());
    }
    finished_ = true;
    if (onFinished_)
        onFinished_(output_);
}

bool WriteOperator::next(Batch& out) {
    if (finished_)
        return false;
    if (!input_->next(out)) {
        finish();
        return false;
    }
    if (!sink_)
        open();
    sink_->write(out);
    return true;
}

}  // namespace qelocal
