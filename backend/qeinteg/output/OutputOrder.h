// One item of an output document to show: where it goes (a dotted heading path), where it is in
// the document, what kind it is and how to dress it. Setters return the record for chaining.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT OutputOrder {
  public:
    enum Type { PivotTable = 0, Chart = 1, Interactive = 2, MapChart = 3 };

    OutputOrder() = default;
    // One location, needsGEOJson and translateTitle on.
    OutputOrder(std::string heading, std::vector<std::string> location, OutputOrder::Type type,
                const std::string& outlineTitle, const std::string& omsSubType);

    OutputOrder& setHeading(std::string title);
    const std::string& getTitle() const { return title_; }
    // Appends one item path (a list of member names).
    OutputOrder& addLocation(std::vector<std::string> location);
    // Appends the dotted path split on "." (empty parts dropped).
    OutputOrder& addLocation(std::string location);
    const std::vector<std::vector<std::string>>& getLocations() const { return locations_; }
    OutputOrder& setOutlineTitle(std::string title, bool translate = false);
    const std::string& getOutlineTitle() const { return outlineTitle_; }
    bool translateTitle() const { return translateTitle_; }
    OutputOrder& setOMSSubType(std::string subType);
    const std::string& getOMSSubType() const { return omsSubType_; }
    // Appends to the comma-separated chart options.
    OutputOrder& setOptions(std::string options);
    const std::string& getOptions() const { return options_; }
    // Appends one caption line.
    OutputOrder& addTextToCaption(const std::string& text);
    const std::string& getCaption() const { return caption_; }
    OutputOrder& setPathId(std::string pathId);
    const std::string& getPathId() const { return pathId_; }
    OutputOrder& hideCategories(std::vector<std::string> names, bool rows);
    OutputOrder& hideAllCategoriesExcept(std::string name, bool rows);
    std::vector<std::string> getHiddenRows() const { return hiddenRows_; }
    std::vector<std::string> getShownRows() const { return shownRows_; }
    std::vector<std::string> getHiddenCols() const { return hiddenCols_; }
    std::vector<std::string> getShownCols() const { return shownCols_; }
    OutputOrder& setType(OutputOrder::Type type);
    OutputOrder::Type getType() const { return type_; }
    OutputOrder& setNeedsGEOJson(bool needs);
    bool needsGEO() const { return needsGEOJson_; }

    // Splits on "." dropping empty parts.
    static std::vector<std::string> SplitPath(const std::string& path);

  private:
    std::string title_;
    std::vector<std::vector<std::string>> locations_;
    std::string outlineTitle_;
    std::string omsSubType_;
    std::string options_;
    std::string caption_;
    std::string pathId_;
    std::vector<std::string> hiddenRows_;
    std::vector<std::string> shownRows_;
    std::vector<std::string> hiddenCols_;
    std::vector<std::string> shownCols_;
    Type type_ = PivotTable;
    bool needsGEOJson_ = false;
    bool translateTitle_ = false;
};
