// The entry points of libqelocal_gdal.so (geo/GdalLibrary.h).
#include "qeinteg/platform/engine/geo/GdalLibrary.h"
#include "qeinteg/platform/engine/io/GeoRowSource.h"

namespace {

using namespace qelocal;

std::unique_ptr<RowSource> OpenShape(const std::string& path, const std::string& context) {
    return GeoRowSource::OpenShape(path, context);
}

std::unique_ptr<RowSource> OpenService(const std::string& url, int layer,
                                       std::chrono::milliseconds timeout,
                                       const std::string& context) {
    return GeoRowSource::OpenService(url, layer, timeout, context);
}

bool ServiceLayers(const std::string& url, const geo::MapServiceOptions& options,
                   std::vector<geo::MapServiceLayer>& layers, std::string& reason) {
    const auto service = geo::MapService::open(url, options, reason);
    if (!service)
        return false;
    layers = service->layers();
    return true;
}

constexpr geo::GdalEntryPoints kEntryPoints{&OpenShape, &OpenService, &ServiceLayers};

}  // namespace

extern "C" __attribute__((visibility("default"))) const qelocal::geo::GdalEntryPoints*
qelocal_gdal_entry_points() {
    return &kEntryPoints;
}
