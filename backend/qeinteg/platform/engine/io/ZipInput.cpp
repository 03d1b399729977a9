#include "qeinteg/platform/engine/io/ZipInput.h"

#include <minizip/unzip.h>

#include <memory>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

namespace {

// Entries larger than this are refused rather than held in memory whole.
constexpr uint64_t kMaxEntryBytes = 1ull << 31;

struct UnzCloser {
    void operator()(void* file) const { unzClose(file); }
};

}  // namespace

std::optional<std::string> ReadZipEntry(const std::string& path, const std::string& name) {
    std::unique_ptr<void, UnzCloser> zip(unzOpen64(path.c_str()));
    if (!zip)
        throw EngineError("cannot open " + path + " as a zip archive");
    if (unzLocateFile(zip.get(), name.c_str(), 1) != UNZ_OK)
        return std::nullopt;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.uncompressed_size > kMaxEntryBytes || unzOpenCurrentFile(zip.get()) != UNZ_OK) {
        throw EngineError("cannot read entry " + name + " of " + path);
    }
    std::string content;
    content.reserve(static_cast<size_t>(info.uncompressed_size));
    char buffer[1 << 16];
    int read = 0;
    while ((read = unzReadCurrentFile(zip.get(), buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<size_t>(read));
        if (content.size() > kMaxEntryBytes)
            break;
    }
    const bool crcOk = unzCloseCurrentFile(zip.get()) == UNZ_OK;
    if (read < 0 || !crcOk || content.size() != info.uncompressed_size)
        throw EngineError("entry " + name + " of " + path + " is damaged");
    return content;
}

}  // namespace qelocal
