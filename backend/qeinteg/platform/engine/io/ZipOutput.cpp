#include "qeinteg/platform/engine/io/ZipOutput.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

void WriteZipArchive(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        throw EngineError("cannot create the archive " + path);
    bool ok = true;
    for (const auto& [name, content] : entries) {
        zip_fileinfo info{};
        if (zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION) != ZIP_OK) {
            ok = false;
            break;
        }
        // zipWriteInFileInZip takes an unsigned length: write large contents in pieces.
        size_t offset = 0;
        while (ok && offset < content.size()) {
            const size_t piece = std::min<size_t>(content.size() - offset, 1u << 30);
            ok = zipWriteInFileInZip(zip, content.data() + offset, static_cast<unsigned>(piece)) ==
                 ZIP_OK;
            offset += piece;
        }
        ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
        if (!ok)
            break;
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) {
        std::remove(path.c_str());
        throw EngineError("cannot write the archive " + path);
    }
}

}  // namespace qelocal
