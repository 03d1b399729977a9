// Shape files made by the tests with OGR.
#pragma once

#include <string>
#include <vector>

namespace geotest {

struct ShapeFeature {
    std::string wkt;   // the geometry
    int id = 0;        // integer key "id"
    std::string name;  // text key "name"
};

// Writes `dir`/`base`.shp with its .shx and .dbf (fields "id" integer and "name" text) and, when
// `epsg` is above 0, its .prj. Returns the .shp path; empty when OGR failed.
std::string MakeShape(const std::string& dir, const std::string& base,
                      const std::vector<ShapeFeature>& features, int epsg);

}  // namespace geotest
