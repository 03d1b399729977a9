#include "qeinteg/platform/engine/geo/GeoMetadata.h"

#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/geo/CrsCatalog.h"
#include "qeinteg/platform/engine/geo/GdalLibrary.h"

namespace qelocal::geo {

namespace {

using Json = nlohmann::ordered_json;

// Service texts may hold invalid UTF-8; it is replaced rather than failing the reply.
std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Describe(const std::optional<CrsDescription>& crs) {
    Json out = Json::object();
    out["wkid"] = crs->wkid;
    out["name"] = crs->name;
    out["wkt"] = crs->wkt;
    out["isProjection"] = crs->projected;
    return Dump(out);
}

bool ParseKey(const std::string& text, int& key) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, key);
    return !text.empty() && ec == std::errc() && stop == end;
}

bool ReadExtent(const Json& value, GeoExtent& extent) {
    if (!value.is_object())
        return false;
    for (const char* name : {"leftUpperX", "leftUpperY", "rightLowerX", "rightLowerY"}) {
        const auto it = value.find(name);
        if (it == value.end() || !it->is_number())
            return false;
    }
    extent.west = value["leftUpperX"].get<double>();
    extent.north = value["leftUpperY"].get<double>();
    extent.east = value["rightLowerX"].get<double>();
    extent.south = value["rightLowerY"].get<double>();
    return extent.isValidExtent();
}

std::string Join(const std::vector<std::string>& items, char separator) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += separator;
        out += item;
    }
    return out;
}

}  // namespace

std::string GeoMetadata::coordinatesSystem(int wkid, std::string& reason) {
    const auto crs = CrsCatalog::instance().find(wkid);
    if (!crs) {
        reason = "no horizontal coordinate system has the well-known id " + std::to_string(wkid);
        return {};
    }
    return Describe(crs);
}

std::string GeoMetadata::coordinatesSystem(const std::string& name, std::string& reason) {
    const auto crs = CrsCatalog::instance().find(name);
    if (!crs) {
        reason = "no horizontal coordinate system is named '" + name + "'";
        return {};
    }
    return Describe(crs);
}

std::vector<std::string> GeoMetadata::geographics() {
    return CrsCatalog::instance().geographicNames();
}

std::vector<std::string> GeoMetadata::projections() {
    return CrsCatalog::instance().projectedNames();
}

std::vector<std::string> GeoMetadata::recommendPCS(const std::string& input, int limit,
                                                   std::string& reason) {
    std::vector<std::string> out;
    const Json doc = Json::parse(input, nullptr, false);
    if (!doc.is_object()) {
        reason = "the recommendation input is not a JSON object of extents";
        return out;
    }
    std::map<int, GeoExtent> extents;  // ascending keys
    for (const auto& [text, value] : doc.items()) {
        int key = 0;
        GeoExtent extent;
        if (!ParseKey(text, key)) {
            reason = "extent key '" + text + "' is not a decimal integer";
            continue;
        }
        if (!ReadExtent(value, extent)) {
            reason = "extent " + text +
                     " is not four numbers within [-180, 180] x [-90, 90] with left <= right and "
                     "lower <= upper";
            continue;
        }
        extents[key] = extent;
    }
    for (const auto& [key, extent] : extents) {
        Json list = Json::array();
        for (const RecommendedCrs& crs :
             CrsCatalog::instance().recommend(extent, limit > 0 ? static_cast<size_t>(limit) : 0)) {
            Json methods = Json::array();
            for (const TransMethod& method : crs.transMethods) {
                Json one = Json::object();
                one[method.name] = method.forward ? "forward" : "reverse";
                methods.push_back(std::move(one));
            }
            Json item = Json::object();
            item["wkid"] = crs.wkid;
            item["name"] = crs.name;
            item["wkt"] = crs.wkt;
            item["trans_methods"] = std::move(methods);
            list.push_back(std::move(item));
        }
        Json reply = Json::object();
        reply[std::to_string(key)] = std::move(list);
        out.push_back(Dump(reply));
    }
    return out;
}

std::string GeoMetadata::mapServiceLayers(const std::string& url, const MapServiceOptions& options,
                                          std::string& reason) {
    std::vector<MapServiceLayer> layers;
    if (!GdalLibrary().serviceLayers(url, options, layers, reason))
        return {};
    Json out = Json::array();
    for (const MapServiceLayer& layer : layers) {
        Json item = Json::object();
        item["value"] = layer.id;
        item["name"] = layer.name;
        item["keys"] = Join(layer.fields, ',');
        item["description"] = layer.description;
        item["features"] = layer.geometry;
        if (!layer.subLayers.empty())
            item["subLayers"] = layer.subLayers;
        out.push_back(std::move(item));
    }
    return Dump(out);
}

}  // namespace qelocal::geo
