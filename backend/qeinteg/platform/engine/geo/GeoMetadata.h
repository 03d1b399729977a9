// The real answers of the local engine's metadata service about coordinate systems and map
// services, as JSON texts:
//   coordinate system   {"wkid": int, "name": text, "wkt": text, "isProjection": bool}
//   recommendation      {"<extent key>": [{"wkid", "name", "wkt",
//                                          "trans_methods": [{"<method>": "forward"|"reverse"}]}]}
//                       one text per usable extent, keys ascending
//   map service layers  [{"value": int, "name", "keys", "description", "features",
//                         "subLayers": [int] (group layers only)}]
// "keys" joins the layer's attribute field names with ","; "features" is the geometry kind
// ("point", "multipoint", "line", "polygon", or empty when unknown).
//
// Bad input and failures give the empty answer (empty text or no texts) and a one-line reason;
// nothing throws.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/engine/geo/MapService.h"

namespace qelocal::geo {

class GeoMetadata final {
  public:
    // Empty for an unknown system; `reason` says why.
    static std::string coordinatesSystem(int wkid, std::string& reason);
    static std::string coordinatesSystem(const std::string& name, std::string& reason);
    static std::vector<std::string> geographics();
    static std::vector<std::string> projections();
    // `input`: an object whose keys are decimal integer texts and whose values hold the numbers
    // "leftUpperX", "leftUpperY", "rightLowerX", "rightLowerY" (WGS 84 degrees). Extents that are
    // not usable are left out, with the reason. `limit` caps each list (0 or less: no cap).
    static std::vector<std::string> recommendPCS(const std::string& input, int limit,
                                                 std::string& reason);
    static std::string mapServiceLayers(const std::string& url, const MapServiceOptions& options,
                                        std::string& reason);
};

}  // namespace qelocal::geo
