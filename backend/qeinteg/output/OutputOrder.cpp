#include "qeinteg/output/OutputOrder.h"

#include <utility>

OutputOrder::OutputOrder(std::string heading, std::vector<std::string> location,
                         OutputOrder::Type type, const std::string& outlineTitle,
                         const std::string& omsSubType)
    : title_(std::move(heading)),
      locations_{std::move(location)},
      outlineTitle_(outlineTitle),
      omsSubType_(omsSubType),
      type_(type),
      needsGEOJson_(true),
      translateTitle_(true) {}

std::vector<std::string> OutputOrder::SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        auto end = path.find('.', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

OutputOrder& OutputOrder::setHeading(std::string title) {
    title_ = std::move(title);
    return *this;
}

OutputOrder& OutputOrder::addLocation(std::vector<std::string> location) {
    locations_.push_back(std::move(location));
    return *this;
}

OutputOrder& OutputOrder::addLocation(std::string location) {
    return addLocation(SplitPath(location));
}

OutputOrder& OutputOrder::setOutlineTitle(std::string title, bool translate) {
    outlineTitle_ = std::move(title);
    translateTitle_ = translate;
    return *this;
}

OutputOrder& OutputOrder::setOMSSubType(std::string subType) {
    omsSubType_ = std::move(subType);
    return *this;
}

OutputOrder& OutputOrder::setOptions(std::string options) {
    if (!options_.empty())
        options_ += ",";
    options_ += options;
    return *this;
}

OutputOrder& OutputOrder::addTextToCaption(const std::string& text) {
    if (!caption_.empty())
        caption_ += "\n";
    caption_ += text;
    return *this;
}

OutputOrder& OutputOrder::setPathId(std::string pathId) {
    pathId_ = std::move(pathId);
    return *this;
}

OutputOrder& OutputOrder::hideCategories(std::vector<std::string> names, bool rows) {
    auto& list = rows ? hiddenRows_ : hiddenCols_;
    list.insert(list.end(), names.begin(), names.end());
    return *this;
}

OutputOrder& OutputOrder::hideAllCategoriesExcept(std::string name, bool rows) {
    (rows ? shownRows_ : shownCols_).push_back(std::move(name));
    return *this;
}

OutputOrder& OutputOrder::setType(OutputOrder::Type type) {
    type_ = type;
    return *this;
}

OutputOrder& OutputOrder::setNeedsGEOJson(bool needs) {
    needsGEOJson_ = needs;
    return *this;
}
