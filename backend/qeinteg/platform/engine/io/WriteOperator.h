// write(config, _): sends the records that pass through it to a file or an engine data source.
//
// Configuration: {"dataDestination": URI, "dataModelDestination": URI, "type": "qebf" |
// "text/csv" | a GeoJSON content type ("text/geojson"), "metadata"?: {"resourceId", "key"}} for
// files (the model is written when its URI is not empty), or {"dataSource": NAME, "mode": "append"
// | "overwrite"} for an engine data source, kept as QEBF with its data model under the analytic
// root. The records pass on unchanged, so a write may feed further functions. Nothing is created
// before the first batch arrives; a write that does not reach the end of its records removes what
// it wrote, and a data source keeps its old content until the new one is complete.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/io/GeoJsonWriter.h"

namespace qelocal {

// What a finished write produced.
struct WrittenOutput {
    std::string dataPath;
    std::string modelPath;  // empty when no model file was written
    bool csv = false;
    bool geojson = false;  // a GeoJSON file, not readable as records
    std::vector<EngineField> fields;
};

class WriteOperator final : public BatchStream {
  public:
    WriteOperator(std::unique_ptr<BatchStream> input, const nlohmann::ordered_json& config,
                  const std::string& context, const JobEnvironment& env,
                  std::function<void(const WrittenOutput&)> onFinished);
    ~WriteOperator() override;
    const std::vector<EngineField>& fields() const override { return input_->fields(); }
    bool next(Batch& out) override;

  private:
    class Sink;
    void open();
    void finish();

    std::unique_ptr<BatchStream> input_;
    std::string context_;
    std::function<void(const WrittenOutput&)> onFinished_;
    WrittenOutput output_;
    std::string writePath_;  // where the data goes while written
    std::string dataSource_;
    std::optional<GeoJsonMetadata> metadata_;
    bool append_ = false;
    bool ownTree_ = false;
    std::unique_ptr<Sink> sink_;
    bool finished_ = false;
};

}  // namespace qelocal
