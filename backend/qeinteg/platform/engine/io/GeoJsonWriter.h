// Writes records as a GeoJSON FeatureCollection (RFC 7946): one Feature per record, its geometry
// from the first geometry field (null when the record has none), every other field a property
// (numbers as numbers, dates and times as ISO texts, missing values as null; further geometry
// fields as geometry objects). Coordinates are written x then y (longitude before latitude).
//
// With metadata, the collection carries {"metadata": {"resourceId": R, "key": K}} and each
// feature's "id" is its value of field K when the records have that field.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

struct GeoJsonMetadata {
    std::string resourceId;
    std::string key;
};

class GeoJsonWriter final {
  public:
    // Creates the file; throws EngineError when it cannot.
    GeoJsonWriter(const std::string& path, const std::vector<EngineField>& fields,
                  std::optional<GeoJsonMetadata> metadata);
    ~GeoJsonWriter();  // removes the file unless finish() succeeded
    GeoJsonWriter(const GeoJsonWriter&) = delete;
    GeoJsonWriter& operator=(const GeoJsonWriter&) = delete;

    // Throws EngineError when a geometry is not readable or the file cannot be written.
    void write(const Batch& batch);
    void finish();

    // The fields, each geometry field with the envelope of the coordinates written (none when no
    // coordinates were written).
    std::vector<EngineField> writtenFields() const;

  private:
    void flush();

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<EngineField> fields_;
    std::vector<std::string> names_;             // property names, JSON-quoted
    int geometry_ = -1;                          // the field written as the feature geometry
    int id_ = -1;                                // the field written as the feature id
    std::vector<std::array<double, 4>> bounds_;  // per field: minX, minY, maxX, maxY
    std::vector<bool> any_;
    std::string buffer_;
    uint64_t records_ = 0;
    bool finished_ = false;
};

}  // namespace qelocal
