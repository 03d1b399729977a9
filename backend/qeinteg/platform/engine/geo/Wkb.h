// Geometry values as the local engine keeps them: ISO WKB in little-endian byte order, one value
// per string cell of a geometry field (EngineField::geo). Points, lines, polygons, their multi
// forms and collections, each 2D, Z, M or ZM.
//
// Readers never trust the bytes: a truncated or malformed value makes them return false, never
// read past the end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qelocal::geo {

// Where the coordinate tuples of one value lie.
struct WkbLayout {
    std::vector<size_t> offsets;  // byte offset of each tuple's x (y follows, then z and m)
    bool hasZ = false;
    bool hasM = false;
};

class Wkb final {
  public:
    // The layout of `wkb`; false when it is not a well-formed little-endian ISO WKB value or mixes
    // dimensions.
    static bool Layout(std::string_view wkb, WkbLayout& layout);

    // The base type name ("Point", "LineString", "Polygon", "MultiPoint", "MultiLineString",
    // "MultiPolygon", "GeometryCollection"), or empty when `wkb` is not WKB.
    static std::string TypeName(std::string_view wkb);

    // A point value of 2 or 3 coordinates.
    static std::string Point(const double* coordinates, int count);

    // A point from the text of a derived coordinate list: "[x, y]" or "[x, y, z]" with exactly
    // `count` numbers. False with `why` set when the text is not such a list (a null or text item,
    // a different length).
    static bool PointFromList(std::string_view list, int count, std::string& out, std::string& why);

    // Appends the GeoJSON geometry object of `wkb` (RFC 7946: x then y, z when present; m is
    // dropped). False, leaving `out` as it was, when `wkb` is not WKB.
    static bool AppendGeoJson(std::string_view wkb, std::string& out);

    // Widens [minX, minY, maxX, maxY] by the coordinates of `wkb`; false when it is not WKB.
    static bool Extend(std::string_view wkb, double bounds[4], bool& any);
};

// The shortest text that reads back to `value` ("1", "0.1", "-12.5").
void AppendNumber(std::string& out, double value);

}  // namespace qelocal::geo
