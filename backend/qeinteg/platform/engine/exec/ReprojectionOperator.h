// reprojection(config, _): converts geometry fields to another coordinate system.
//
// Configuration: {"type": "all" | "part", "reprojectionFields": [{"name"?: FIELD, "inSR"?:
// {"csName"?, "wkid"?}, "outSR": {"csName"?, "wkid"?, "transMethodsName"?}}]}. With "all" every
// geometry field is converted by the entry that names it or else by the first entry without a
// name; with "part" only the named fields. The source system is "inSR" when given, else the
// field's own; a field whose source or target is "CARTESIAN" passes unchanged. The converted
// fields carry the target system and their envelope converted with them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/geo/CoordinateTransform.h"
#include "qeinteg/platform/engine/geo/Wkb.h"

namespace qelocal {

class ReprojectionOperator final : public BatchStream {
  public:
    // Throws EngineError naming the call when the configuration is malformed, a named field is
    // missing or no geometry, or a system or transformation method is unknown.
    ReprojectionOperator(std::unique_ptr<BatchStream> input, const nlohmann::ordered_json& config,
                         const std::string& context);
    const std::vector<EngineField>& fields() const override { return fields_; }
    // Throws EngineError when a geometry is not WKB or its coordinates cannot be converted.
    bool next(Batch& out) override;

  private:
    struct Target {
        size_t field;
        std::unique_ptr<geo::CoordinateTransform> transform;
    };
    void convert(Column& column, const Target& target);

    std::unique_ptr<BatchStream> input_;
    std::vector<EngineField> fields_;
    std::vector<Target> targets_;
    std::string context_;
    uint64_t rows_ = 0;
    // Scratch space reused across batches.
    geo::WkbLayout layout_;
    std::vector<double> coords_;
    struct Place {
        size_t row;
        size_t offset;  // of the tuple's x in the row's value
        bool z;
    };
    std::vector<Place> places_;
};

}  // namespace qelocal
