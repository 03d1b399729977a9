#include "qeinteg/platform/engine/geo/GdalScope.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace qelocal::geo {

namespace {

void CollectError(CPLErr level, CPLErrorNum, const char* message) {
    if (level < CE_Failure || message == nullptr)
        return;
    auto* errors = static_cast<std::vector<std::string>*>(CPLGetErrorHandlerUserData());
    if (errors != nullptr)
        errors->emplace_back(message);
}

}  // namespace

GdalScope::GdalScope(std::chrono::milliseconds httpTimeout) {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f",
                  std::max<long long>(httpTimeout.count(), 1) / 1000.0);
    set("GDAL_HTTP_TIMEOUT", seconds);
    set("GDAL_HTTP_CONNECTTIMEOUT", seconds);
    set("GDAL_HTTP_MAX_RETRY", "0");
    // Never look for side-car files next to a URL: each would be one more request.
    set("GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR");
    set("CPL_CURL_VERBOSE", "NO");
    CPLPushErrorHandlerEx(CollectError, &errors_);
}

GdalScope::~GdalScope() {
    CPLPopErrorHandler();
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        const bool present =
            std::find(savedPresent_.begin(), savedPresent_.end(), it->first) != savedPresent_.end();
        CPLSetThreadLocalConfigOption(it->first.c_str(), present ? it->second.c_str() : nullptr);
    }
}

void GdalScope::set(const char* key, const std::string& value) {
    const char* previous = CPLGetThreadLocalConfigOption(key, nullptr);
    if (previous != nullptr)
        savedPresent_.emplace_back(key);
    saved_.emplace_back(key, previous != nullptr ? previous : "");
    CPLSetThreadLocalConfigOption(key, value.c_str());
}

std::string GdalScope::lastError(const std::string& fallback) const {
    return errors_.empty() ? fallback : errors_.back();
}

}  // namespace qelocal::geo
