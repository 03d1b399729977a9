// A rectangle of longitude and latitude in degrees, as extents and areas of use are given.
//
// An extent never crosses the antimeridian: west <= east. An area of use may: its west bound is
// then greater than its east bound, and it covers [west, 180] and [-180, east].
#pragma once

namespace qelocal::geo {

struct GeoExtent {
    double west = 0;
    double south = 0;
    double east = 0;
    double north = 0;

    // Finite, inside [-180, 180] x [-90, 90], with west <= east and south <= north.
    bool isValidExtent() const;
};

// Where a coordinate system may be used.
struct AreaOfUse {
    GeoExtent bounds;  // west > east when the area crosses the antimeridian

    bool crossesAntimeridian() const { return bounds.west > bounds.east; }
    // Whether the area covers the whole of `extent` (a valid extent).
    bool contains(const GeoExtent& extent) const;
    // The area's share of the sphere's surface, in (0, 1]; degenerate areas give 0.
    double sphereFraction() const;
};

}  // namespace qelocal::geo
