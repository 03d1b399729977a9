// GDAL on demand. GDAL and the hundred libraries it needs cost about 100 ms to load, more than
// `qeinteg describe` spends on a 10 MB file, yet only geographic sources and map services use it.
// So the code that calls GDAL (GdalScope, MapService, GeoRowSource) lives in its own library,
// libqelocal_gdal.so beside libqelocal.so, which is loaded the first time one of these entry
// points is asked for.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/geo/MapService.h"

namespace qelocal::geo {

// What libqelocal_gdal.so offers; the functions behave as the ones they forward to.
struct GdalEntryPoints {
    // GeoRowSource::OpenShape
    std::unique_ptr<RowSource> (*openShape)(const std::string& path, const std::string& context);
    // GeoRowSource::OpenService
    std::unique_ptr<RowSource> (*openService)(const std::string& url, int layer,
                                              std::chrono::milliseconds timeout,
                                              const std::string& context);
    // The layers MapService::open lists; false with `reason` set when it fails.
    bool (*serviceLayers)(const std::string& url, const MapServiceOptions& options,
                          std::vector<MapServiceLayer>& layers, std::string& reason);
};

// Loads libqelocal_gdal.so once (thread-safe). Throws EngineError naming the library and the
// loader's reason when it cannot be loaded.
const GdalEntryPoints& GdalLibrary();

}  // namespace qelocal::geo

// The one symbol libqelocal_gdal.so exports for the loader.
extern "C" const qelocal::geo::GdalEntryPoints* qelocal_gdal_entry_points();
