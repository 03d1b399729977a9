// The records of a geographic source: a shape file (.shp with its .dbf and, when present, its
// .prj) or one layer of a map service. Attributes become fields; the geometry becomes one more
// field, named "geometry" (or "geometry_1", ... when an attribute has that name), whose values
// are WKB (geo/Wkb.h) and whose GeoInfo gives the geometry type, the coordinate dimension, the
// coordinate system and the layer's envelope.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

class GeoRowSource final : public RowSource {
  public:
    // Opens a shape file. Throws EngineError (prefixed by `context`) when the .shp cannot be read,
    // its .dbf is missing, or its .prj names no coordinate system PROJ knows.
    static std::unique_ptr<GeoRowSource> OpenShape(const std::string& path,
                                                   const std::string& context);
    // Opens layer `layer` of the map service at `url`. Throws EngineError when the service does
    // not answer within `timeout`, is no map service, or has no such readable layer.
    static std::unique_ptr<GeoRowSource> OpenService(const std::string& url, int layer,
                                                     std::chrono::milliseconds timeout,
                                                     const std::string& context);
    ~GeoRowSource() override;

    const std::vector<EngineField>& fields() const override { return fields_; }
    // Throws EngineError when a feature cannot be read.
    bool next() override;
    // Texts stay valid until the next call of next().
    Cell cell(size_t index) override;
    double fraction() const override;

  private:
    struct Impl;
    explicit GeoRowSource(std::unique_ptr<Impl> impl);
    void describe();

    std::unique_ptr<Impl> impl_;
    std::vector<EngineField> fields_;
};

}  // namespace qelocal
