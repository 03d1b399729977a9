// A chart or interactive output as it was sent: its description, visualisation template or
// interactive document, options and GeoJSON layers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qeinteg/platform/host/output/OutputItem.h"

namespace qehost {

struct ChartRecord {
    bool interactive = false;
    std::string description;
    bool nativeDescription = false;  // the description was given in the host's code page
    std::string vizTemplate;         // charts
    std::string options;
    std::string procedureName;  // interactive outputs
    std::string jsonPath;
    std::string interactiveJSON;
    std::vector<std::pair<std::string, std::string>> geoJSON;  // layer name, GeoJSON text
};

class ChartItem : public OutputItem {
  public:
    explicit ChartItem(ChartRecord record) : OutputItem(Kind::Chart), record_(std::move(record)) {}
    const ChartRecord& record() const { return record_; }

  private:
    ChartRecord record_;
};

}  // namespace qehost
