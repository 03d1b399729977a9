// A conversion of coordinates between two coordinate systems, through PROJ.
//
// Systems are named as the metadata service names them (CrsCatalog: a database name, "AUTH:CODE"
// or a well-known id) or given by a WKT definition. Coordinates are in the order x, y: longitude
// before latitude and easting before northing, whatever order the systems' definitions declare,
// as GeoJSON and shape files have them.
//
// One object is used by one thread at a time (it holds its own PROJ context).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qelocal::geo {

// A system as a configuration or a field's metadata gives it; the first of name, wkid and wkt
// that resolves is used.
struct SystemRef {
    std::string name;
    int wkid = 0;
    std::string wkt;
};

// A resolved system, described as the metadata service would describe it.
struct ResolvedSystem {
    int wkid = 0;
    std::string name;
    std::string wkt;
    bool projected = false;
};

class CoordinateTransform final {
  public:
    // Null with `reason` when either system is unknown or, when `method` is not empty, when no
    // transformation of that name leads from `from` to `to`.
    static std::unique_ptr<CoordinateTransform> Create(const SystemRef& from, const SystemRef& to,
                                                       const std::string& method,
                                                       std::string& reason);
    ~CoordinateTransform();
    CoordinateTransform(const CoordinateTransform&) = delete;
    CoordinateTransform& operator=(const CoordinateTransform&) = delete;

    const ResolvedSystem& source() const { return source_; }
    const ResolvedSystem& target() const { return target_; }

    // Converts `count` tuples in place; x, y and z (null for 2D) advance by `stride` bytes.
    // Returns the index of the first tuple PROJ could not convert, or `count` when all converted.
    size_t transform(double* x, double* y, double* z, size_t stride, size_t count) const;

    // The bounding box, in the target system, of the box [minX, minY, maxX, maxY] (densified
    // edges, so curved edges are covered); false when it cannot be converted.
    bool transformBounds(double bounds[4]) const;

  private:
    CoordinateTransform();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    ResolvedSystem source_;
    ResolvedSystem target_;
};

}  // namespace qelocal::geo
