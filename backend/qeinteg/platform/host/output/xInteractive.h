// An interactive output: a JSON document the viewer explores, with its path, options and layers.
#pragma once

#include <string>

#include "qeinteg/platform/host/output/XDocument.h"

class xInteractive : public XDocument {
  public:
    explicit xInteractive(PnHeading* parent = nullptr) : XDocument(parent) {
        record_.interactive = true;
    }

    void setProcedureName(const std::string& name) { record_.procedureName = name; }
    void setJSONPath(const std::string& path) { record_.jsonPath = path; }
    void setOptions(const std::string& options) { record_.options = options; }
    void addGeoJSON(const std::string& key, const std::string& geojson) {
        record_.geoJSON.emplace_back(key, geojson);
    }
    void setInteractiveJSON(const std::string& json) { record_.interactiveJSON = json; }
    void sendInteractive() { Send(); }
};
