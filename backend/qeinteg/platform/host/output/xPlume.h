// A chart made from a visualisation template (a JSON text), with options and GeoJSON layers.
#pragma once

#include <string>

#include "qeinteg/platform/host/output/XDocument.h"
#include "qeinteg/platform/host/output/xInteractive.h"

class xPlume : public XDocument {
  public:
    explicit xPlume(PnHeading* parent = nullptr) : XDocument(parent) {}

    void setViZJSONTemplate(const std::string& json) { record_.vizTemplate = json; }
    void setOptions(const std::string& options) { record_.options = options; }
    void addGeoJSON(const std::string& key, const std::string& geojson) {
        record_.geoJSON.emplace_back(key, geojson);
    }
    void sendChart() { Send(); }
};
