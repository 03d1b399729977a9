#include "qeinteg/platform/engine/geo/GeoExtent.h"

#include <cmath>
#include <numbers>

namespace qelocal::geo {

bool GeoExtent::isValidExtent() const {
    const auto inRange = [](double v, double limit) {
        return std::isfinite(v) && v >= -limit && v <= limit;
    };
    return inRange(west, 180) && inRange(east, 180) && inRange(south, 90) && inRange(north, 90) &&
           west <= east && south <= north;
}

bool AreaOfUse::contains(const GeoExtent& extent) const {
    if (extent.south < bounds.south || extent.north > bounds.north)
        return false;
    if (!crossesAntimeridian())
        return bounds.west <= extent.west && extent.east <= bounds.east;
    // The extent does not cross the antimeridian, so it must lie wholly on one side of it.
    return extent.west >= bounds.west || extent.east <= bounds.east;
}

double AreaOfUse::sphereFraction() const {
    constexpr double kDegree = std::numbers::pi / 180.0;
    double width = bounds.east - bounds.west;
    if (crossesAntimeridian())
        width += 360.0;
    if (width <= 0 || bounds.north <= bounds.south)
        return 0;
    // A band between two latitudes covers (sin north - sin south) / 2 of the sphere.
    const double band = (std::sin(bounds.north * kDegree) - std::sin(bounds.south * kDegree)) / 2.0;
    return band * width / 360.0;
}

}  // namespace qelocal::geo
