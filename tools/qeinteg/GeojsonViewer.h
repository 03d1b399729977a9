// The self-contained GeoJSON viewer page (geojson-viewer.html, built into the program).
#pragma once

#include <string>

// The page with `geojson` embedded as the document it draws. "</" in the text is written "<\/",
// which reads back as the same JSON, so no text can end the page's script early.
std::string GeojsonViewerPage(const std::string& geojson);
