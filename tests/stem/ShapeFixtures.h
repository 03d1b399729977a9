// Shape files and zip archives the spatio-temporal tests make themselves, with OGR and minizip.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace stemtest {

// One attribute column: its name and whether it holds integers (else text).
struct Column {
    std::string name;
    bool integer = false;
};

// Writes the shape file `path` (.shp with its .shx and .dbf) of one geometry per WKT text, with
// one row of attribute texts per feature. epsg > 0 also writes the .prj of that system. False
// (with the reason on stderr) when OGR refuses.
bool WriteShape(const std::string& path, const std::vector<Column>& columns,
                const std::vector<std::string>& wkts,
                const std::vector<std::vector<std::string>>& rows, int epsg);

// A square polygon of side 1 whose lower left corner is (x, y), as WKT.
std::string Square(double x, double y);

// Writes a zip archive of (entry name, content) pairs exactly as named: names with ".." and
// absolute names included, for archives that try to escape.
bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries);

// The files of a shape file (path ending ".shp") as zip entries named prefix + file name.
std::vector<std::pair<std::string, std::string>> ShapeEntries(const std::string& shpPath,
                                                              const std::string& prefix);

}  // namespace stemtest
