// Geometry metadata codes of the host metadata layer.
#pragma once

class CFGeo {
  public:
    // The geometry kind of a geographic field.
    enum Type : int {
        Point = 0,
        MultiPoint = 1,
        LineString = 2,
        MultiLineString = 3,
        Polygon = 4,
        MultiPolygon = 5
    };
};
