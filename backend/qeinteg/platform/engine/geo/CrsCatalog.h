// The coordinate reference systems of PROJ's database, as the metadata service describes them.
//
// Systems are looked up by well-known id (EPSG first, then ESRI), by name as the database spells
// it (case-insensitive; EPSG and ESRI entries, non-deprecated and EPSG preferred) or by
// "AUTHORITY:CODE" (any authority of the database). Only horizontal systems are described:
// geographic 2D and projected. Definitions are written as ESRI WKT1, the form of shape files' .prj
// files (docs/geo-metadata.md); a system PROJ cannot write in that form falls back to GDAL's WKT1.
//
// Nothing here throws; an unknown or unusable system is simply not found. All methods may be
// called from any thread (one lock serialises the database work).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/geo/GeoExtent.h"

namespace qelocal::geo {

struct CrsDescription {
    int wkid = 0;  // the numeric code; 0 when the authority's code is not a number
    std::string authority;
    std::string code;
    std::string name;
    std::string wkt;
    bool projected = false;
};

// A transformation between the extent's geographic system (WGS 84) and a projected system's own
// geographic system. `forward` when the database defines it from WGS 84 towards that system.
struct TransMethod {
    std::string name;
    bool forward = true;
};

struct RecommendedCrs {
    int wkid = 0;
    std::string name;
    std::string wkt;
    std::vector<TransMethod> transMethods;
    AreaOfUse area;
    double areaFraction = 0;  // the area of use's share of the sphere
};

class CrsCatalog final {
  public:
    // The process's catalog; PROJ's database is opened on first use.
    static CrsCatalog& instance();

    CrsCatalog();
    ~CrsCatalog();
    CrsCatalog(const CrsCatalog&) = delete;
    CrsCatalog& operator=(const CrsCatalog&) = delete;

    // A wkid of 0 or below is never found.
    std::optional<CrsDescription> find(int wkid);
    std::optional<CrsDescription> find(const std::string& nameOrCode);

    // Names of the non-deprecated EPSG and ESRI systems, sorted (byte order), without repeats.
    std::vector<std::string> geographicNames();
    std::vector<std::string> projectedNames();

    // The non-deprecated EPSG projected systems whose area of use contains `extent` (WGS 84
    // degrees; must be valid), smallest area of use first, ties by code; at most `limit` of them
    // (0: all). An invalid extent gives none.
    std::vector<RecommendedCrs> recommend(const GeoExtent& extent, size_t limit);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qelocal::geo
