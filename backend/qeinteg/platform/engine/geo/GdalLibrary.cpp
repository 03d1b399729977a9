#include "qeinteg/platform/engine/geo/GdalLibrary.h"

#include <dlfcn.h>

#include <filesystem>

namespace qelocal::geo {

namespace {

constexpr const char* kLibraryName = "libqelocal_gdal.so";

// The library beside the one this code was loaded from, else wherever the loader finds it.
void* OpenLibrary(std::string& reason) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GdalLibrary), &info) != 0 && info.dli_fname != nullptr) {
        const std::filesystem::path beside =
            std::filesystem::path(info.dli_fname).parent_path() / kLibraryName;
        if (void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
        reason = dlerror();
    }
    if (void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL))
        return handle;
    if (reason.empty())
        reason = dlerror();
    return nullptr;
}

const GdalEntryPoints* Load(std::string& reason) {
    void* handle = OpenLibrary(reason);
    if (handle == nullptr)
        return nullptr;
    // Never closed: GDAL keeps global state (drivers, caches) for the life of the process.
    using Entry = const GdalEntryPoints* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(handle, "qelocal_gdal_entry_points"));
    if (entry == nullptr) {
        reason = "it has no entry points";
        return nullptr;
    }
    return entry();
}

}  // namespace

const GdalEntryPoints& GdalLibrary() {
    static std::string reason;
    static const GdalEntryPoints* const points = Load(reason);
    if (points == nullptr) {
        throw EngineError(std::string("geographic sources need ") + kLibraryName +
                          ", which cannot be loaded: " + reason);
    }
    return *points;
}

}  // namespace qelocal::geo
