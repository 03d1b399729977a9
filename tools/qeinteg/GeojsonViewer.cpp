#include "GeojsonViewer.h"

const char* GeojsonViewerTemplate();

namespace {

// The empty document the page holds until one is embedded.
constexpr const char* kPlaceholder = R"({"type":"FeatureCollection","features":[]})";

}  // namespace

std::string GeojsonViewerPage(const std::string& geojson) {
    std::string page = GeojsonViewerTemplate();
    std::string safe;
    safe.reserve(geojson.size());
    for (size_t i = 0; i < geojson.size(); ++i) {
        safe += geojson[i];
        if (geojson[i] == '<' && i + 1 < geojson.size() && geojson[i + 1] == '/')
            safe += '\\';
    }
    const size_t at = page.find(kPlaceholder);
    if (at != std::string::npos)
        page.replace(at, std::string(kPlaceholder).size(), safe);
    return page;
}
