// A feature map service read through GDAL: its layer list and, for readers, one layer's features.
//
// Two kinds of service are understood:
// - OGC API - Features: the landing page's collections are the layers, numbered 0, 1, ... in the
//   order the service lists them (the standard has no layer numbers and no grouping).
// - ArcGIS-style REST feature and map services: "<url>?f=json" lists the layers with the service's
//   own numbers; group layers name their members in subLayers.
// The kind is told by the service's JSON answer to "<url>?f=json", not by the URL.
//
// All HTTP goes through GDAL (its curl) with the time-out of the options and no retries. Nothing
// throws: failures return null with a one-line reason (a time-out, an HTTP error, a reply that is
// not a map service). Use one MapService on one thread at a time.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class GDALDataset;
class OGRLayer;
class CPLJSONObject;

namespace qelocal::geo {

struct MapServiceLayer {
    int id = 0;
    std::string name;
    std::string description;
    std::vector<std::string> fields;  // attribute fields, candidates for key fields
    std::string geometry;             // "point", "multipoint", "line", "polygon" or empty
    std::vector<int> subLayers;       // members of a group layer
};

struct MapServiceOptions {
    std::chrono::milliseconds timeout{10000};
};

// The features of one layer, open for reading. Keep a GdalScope alive on the reading thread while
// iterating, so that the service's time-out applies to the pages fetched.
class MapServiceFeatures final {
  public:
    MapServiceFeatures(GDALDataset* dataset, OGRLayer* layer);  // takes the dataset
    ~MapServiceFeatures();
    MapServiceFeatures(const MapServiceFeatures&) = delete;
    MapServiceFeatures& operator=(const MapServiceFeatures&) = delete;

    // Valid while this object lives.
    OGRLayer* layer() const { return layer_; }

  private:
    GDALDataset* dataset_;
    OGRLayer* layer_;
};

class MapService final {
  public:
    enum class Style { OgcApiFeatures, ArcGisRest };

    // Reads the service's layer list; null with `reason` set when that fails.
    static std::unique_ptr<MapService> open(const std::string& url,
                                            const MapServiceOptions& options, std::string& reason);
    ~MapService();
    MapService(const MapService&) = delete;
    MapService& operator=(const MapService&) = delete;

    Style style() const { return style_; }
    const std::string& url() const { return url_; }
    const MapServiceOptions& options() const { return options_; }
    const std::vector<MapServiceLayer>& layers() const { return layers_; }

    // Opens the features of the listed layer `layerId`; null with `reason` when the layer is not
    // listed, is a group layer, or cannot be read.
    std::unique_ptr<MapServiceFeatures> openFeatures(int layerId, std::string& reason) const;

  private:
    MapService(std::string url, MapServiceOptions options, Style style)
        : url_(std::move(url)), options_(options), style_(style) {}

    bool listArcGis(const CPLJSONObject& root, std::string& reason);
    bool listOgcApi(std::string& reason);

    std::string url_;    // without the query and a trailing "/"
    std::string query_;  // the service URL's query (ArcGIS-style services), without "?"
    MapServiceOptions options_;
    Style style_;
    std::vector<MapServiceLayer> layers_;
};

}  // namespace qelocal::geo
