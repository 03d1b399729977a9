#include "qeinteg/platform/engine/geo/MapService.h"

#include <cpl_http.h>
#include <cpl_json.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <map>

#include "qeinteg/platform/engine/geo/GdalScope.h"

namespace qelocal::geo {

namespace {

std::string WithJsonFormat(const std::string& url) {
    return url + (url.find('?') == std::string::npos ? "?f=json" : "&f=json");
}

// The query of a service URL ("token=..."), carried over to every request made below it.
std::string QueryOf(const std::string& url) {
    const size_t mark = url.find('?');
    return mark == std::string::npos ? std::string() : url.substr(mark + 1);
}

// `base` + `path`, with the service's query and "f=json".
std::string Resource(const std::string& base, const std::string& path, const std::string& query) {
    return WithJsonFormat(base + path + (query.empty() ? "" : "?" + query));
}

// The base of a service URL: no query, no trailing "/".
std::string BaseUrl(const std::string& url) {
    std::string base = url.substr(0, url.find('?'));
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

// Fetches `url` and parses the answer as JSON. False with `reason` on a network or HTTP failure or
// an answer that is not JSON.
bool FetchJson(const std::string& url, const MapServiceOptions& options, CPLJSONDocument& doc,
               std::string& reason, GdalScope& scope) {
    const std::string seconds =
        std::to_string(std::max<long long>(options.timeout.count(), 1) / 1000.0);
    const std::string timeout = "TIMEOUT=" + seconds;
    const std::string connect = "CONNECTTIMEOUT=" + seconds;
    const char* httpOptions[] = {timeout.c_str(), connect.c_str(), "MAX_RETRY=0", nullptr};
    CPLHTTPResult* result = CPLHTTPFetch(url.c_str(), httpOptions);
    if (result == nullptr) {
        reason = scope.lastError("no answer from " + url);
        return false;
    }
    bool ok = true;
    if (result->nStatus != 0 || result->pszErrBuf != nullptr) {
        reason = result->pszErrBuf != nullptr ? std::string(result->pszErrBuf)
                                              : scope.lastError("request failed");
        reason += " (" + url + ")";
        ok = false;
    } else if (result->nDataLen <= 0 || !doc.LoadMemory(result->pabyData, result->nDataLen) ||
               doc.GetRoot().GetType() != CPLJSONObject::Type::Object) {
        reason = "the answer of " + url + " is not a JSON object";
        ok = false;
    }
    CPLHTTPDestroyResult(result);
    return ok;
}

std::string GeometryKind(OGRwkbGeometryType type) {
    switch (wkbFlatten(type)) {
        case wkbPoint:
            return "point";
        case wkbMultiPoint:
            return "multipoint";
        case wkbLineString:
        case wkbMultiLineString:
            return "line";
        case wkbPolygon:
        case wkbMultiPolygon:
            return "polygon";
        default:
            return "";
    }
}

std::string EsriGeometryKind(const std::string& type) {
    if (type == "esriGeometryPoint")
        return "point";
    if (type == "esriGeometryMultipoint")
        return "multipoint";
    if (type == "esriGeometryPolyline")
        return "line";
    if (type == "esriGeometryPolygon")
        return "polygon";
    return "";
}

// Field types that cannot serve as keys.
bool IsKeyField(const std::string& esriType) {
    return esriType != "esriFieldTypeOID" && esriType != "esriFieldTypeGeometry" &&
           esriType != "esriFieldTypeBlob" && esriType != "esriFieldTypeRaster" &&
           esriType != "esriFieldTypeXML";
}

void ReadEsriDetails(const CPLJSONObject& layer, MapServiceLayer& out) {
    out.description = layer.GetString("description");
    out.geometry = EsriGeometryKind(layer.GetString("geometryType"));
    out.fields.clear();
    const CPLJSONArray fields = layer.GetArray("fields");
    if (!fields.IsValid())
        return;
    for (int i = 0; i < fields.Size(); ++i) {
        const CPLJSONObject field = fields[i];
        const std::string name = field.GetString("name");
        if (!name.empty() && IsKeyField(field.GetString("type")))
            out.fields.push_back(name);
    }
}

}  // namespace

MapServiceFeatures::MapServiceFeatures(GDALDataset* dataset, OGRLayer* layer)
    : dataset_(dataset), layer_(layer) {}

MapServiceFeatures::~MapServiceFeatures() {
    GDALClose(dataset_);
}

MapService::~MapService() = default;

std::unique_ptr<MapService> MapService::open(const std::string& url,
                                             const MapServiceOptions& options,
                                             std::string& reason) {
    reason.clear();
    const std::string base = BaseUrl(url);
    if (base.rfind("http://", 0) != 0 && base.rfind("https://", 0) != 0) {
        reason = "not an http or https address: " + url;
        return nullptr;
    }
    GdalScope scope(options.timeout);
    CPLJSONDocument doc;
    if (!FetchJson(WithJsonFormat(url), options, doc, reason, scope))
        return nullptr;
    const CPLJSONObject root = doc.GetRoot();
    std::unique_ptr<MapService> service;
    if (root.GetArray("layers").IsValid()) {
        service.reset(new MapService(base, options, Style::ArcGisRest));
        service->query_ = QueryOf(url);
        if (!service->listArcGis(root, reason))
            return nullptr;
    } else if (root.GetArray("links").IsValid()) {
        service.reset(new MapService(base, options, Style::OgcApiFeatures));
        if (!service->listOgcApi(reason))
            return nullptr;
    } else {
        reason = "the answer of " + url + " names no layers and no collections";
        return nullptr;
    }
    return service;
}

bool MapService::listArcGis(const CPLJSONObject& root, std::string& reason) {
    const CPLJSONArray listed = root.GetArray("layers");
    for (int i = 0; i < listed.Size(); ++i) {
        const CPLJSONObject entry = listed[i];
        MapServiceLayer layer;
        layer.id = entry.GetInteger("id", -1);
        layer.name = entry.GetString("name");
        if (layer.id < 0) {
            reason = "a layer of " + url_ + " has no id";
            return false;
        }
        const CPLJSONArray members = entry.GetArray("subLayerIds");
        for (int k = 0; members.IsValid() && k < members.Size(); ++k)
            layer.subLayers.push_back(members[k].ToInteger());
        layers_.push_back(std::move(layer));
    }
    // The details (description, fields, geometry) of all layers come in one more request; a
    // service without that resource is asked layer by layer.
    GdalScope scope(options_.timeout);
    CPLJSONDocument details;
    std::string ignored;
    std::map<int, CPLJSONObject> byId;
    if (FetchJson(Resource(url_, "/layers", query_), options_, details, ignored, scope)) {
        const CPLJSONArray all = details.GetRoot().GetArray("layers");
        for (int i = 0; all.IsValid() && i < all.Size(); ++i)
            byId.emplace(all[i].GetInteger("id", -1), all[i]);
    }
    for (MapServiceLayer& layer : layers_) {
        if (auto it = byId.find(layer.id); it != byId.end()) {
            ReadEsriDetails(it->second, layer);
            continue;
        }
        CPLJSONDocument one;
        if (!FetchJson(Resource(url_, "/" + std::to_string(layer.id), query_), options_, one,
                       reason, scope))
            return false;
        ReadEsriDetails(one.GetRoot(), layer);
    }
    reason.clear();
    return true;
}

bool MapService::listOgcApi(std::string& reason) {
    GdalScope scope(options_.timeout);
    const std::string connection = "OAPIF:" + url_;
    GDALDataset* dataset = GDALDataset::Open(connection.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY);
    if (dataset == nullptr) {
        reason = scope.lastError("cannot open " + url_ + " as an OGC API - Features service");
        return false;
    }
    const int count = dataset->GetLayerCount();
    for (int i = 0; i < count; ++i) {
        OGRLayer* source = dataset->GetLayer(i);
        if (source == nullptr)
            continue;
        MapServiceLayer layer;
        layer.id = i;
        layer.name = source->GetName();
        const char* description = source->GetMetadataItem("DESCRIPTION");
        if (description == nullptr)
            description = source->GetMetadataItem("TITLE");
        layer.description = description != nullptr ? description : "";
        OGRFeatureDefn* defn = source->GetLayerDefn();
        for (int f = 0; defn != nullptr && f < defn->GetFieldCount(); ++f)
            layer.fields.emplace_back(defn->GetFieldDefn(f)->GetNameRef());
        layer.geometry = GeometryKind(source->GetGeomType());
        layers_.push_back(std::move(layer));
    }
    GDALClose(dataset);
    if (!scope.errors().empty()) {
        reason = scope.errors().back();
        return false;
    }
    return true;
}

std::unique_ptr<MapServiceFeatures> MapService::openFeatures(int layerId,
                                                             std::string& reason) const {
    const auto it = std::find_if(layers_.begin(), layers_.end(),
                                 [&](const MapServiceLayer& l) { return l.id == layerId; });
    if (it == layers_.end()) {
        reason = "the service has no layer " + std::to_string(layerId);
        return nullptr;
    }
    if (!it->subLayers.empty()) {
        reason = "layer " + std::to_string(layerId) + " is a group of layers";
        return nullptr;
    }
    GdalScope scope(options_.timeout);
    std::string connection;
    if (style_ == Style::OgcApiFeatures)
        connection = "OAPIF:" + url_;
    else
        connection = "ESRIJSON:" + url_ + "/" + std::to_string(layerId) +
                     "/query?where=1%3D1&outFields=*&f=json" + (query_.empty() ? "" : "&" + query_);
    GDALDataset* dataset = GDALDataset::Open(connection.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY);
    if (dataset == nullptr) {
        reason = scope.lastError("cannot read layer " + std::to_string(layerId));
        return nullptr;
    }
    OGRLayer* layer = style_ == Style::OgcApiFeatures ? dataset->GetLayerByName(it->name.c_str())
                                                      : dataset->GetLayer(0);
    if (layer == nullptr) {
        GDALClose(dataset);
        reason = "cannot read layer " + std::to_string(layerId);
        return nullptr;
    }
    return std::make_unique<MapServiceFeatures>(dataset, layer);
}

}  // namespace qelocal::geo
