// Renders an engine output document into the host output: pivot tables, charts, interactive
// outputs and notification messages.
//
// Use: construct (with the document text, or without one for interactive items only), add one
// OutputOrder per item, optionally set GeoJSON layers and switch notifications, then call
// generateOutput with the name of the document section that holds the items.
#pragma once

#include <jni.h>

#include <map>
#include <memory>
#include <string>

#include "qeinteg/output/OutputOrder.h"
#include "qeinteg/qeinteg_export.h"

class FacSTDictionary;
class PnProcedure;
class ProcedureDataSource;
class dataDictionary;

class QEINTEG_EXPORT jsonToPennant {
  public:
    // Parses the document and reads the field descriptions of its "dataModel".
    jsonToPennant(PnProcedure* procedure, const ProcedureDataSource* dataSource,
                  FacSTDictionary& dictionary, const std::string& json);
    // No document: only interactive items can be produced.
    jsonToPennant(PnProcedure* procedure, const ProcedureDataSource* dataSource,
                  FacSTDictionary& dictionary);
    ~jsonToPennant();
    jsonToPennant(const jsonToPennant&) = delete;
    jsonToPennant& operator=(const jsonToPennant&) = delete;

    void addObjectToOutput(std::string heading, std::string location, std::string outlineTitle,
                           std::string omsSubType, OutputOrder::Type type);
    void addObjectToOutput(OutputOrder& order);

    // Renders the notifications of section `name` and every item, in the order added. False when
    // the document has no such section or did not parse.
    bool generateOutput(std::string name);
    void showNotifications(bool show);

    // The document's root object (null without a parsed document).
    jobject getTop();
    // True when the dotted path from the root exists and is not a string.
    bool hasItem(const std::string& path);
    // True when the dotted path leads to a non-empty object or array.
    bool hasItemContent(const std::string& path);

    const dataDictionary& getDataDictionary() const;
    FacSTDictionary& getDictionary();

    void setGeoJSONMap(const std::map<std::string, std::string>& layers);
    const std::map<std::string, std::string>& getGeoJSONMap() const;
    // True when the GeoJSON text's "source.value.features" is a non-empty array.
    bool hasGeoJSONFeatures(const std::string& geojson);
    // With a key: that layer exists and has features. With an empty key: there are layers and
    // every one has features.
    bool hasGeoJSONMapFeatures(const std::string& key);

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};
