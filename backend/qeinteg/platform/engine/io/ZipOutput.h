// Writes the named entries of an output container's zip archive.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qelocal {

// Receives an entry's content in pieces.
using ZipSink = std::function<void(std::string_view)>;

// An entry whose content is produced while the archive is written, so that it never has to be
// held whole in memory.
struct ZipEntry {
    std::string name;
    std::function<void(const ZipSink&)> write;
};

// Creates (or replaces) the zip archive at `path` holding `entries`, deflated. Throws EngineError
// on failure (or passes on what an entry's writer threw); a failed archive is removed.
void WriteZipArchive(const std::string& path, const std::vector<ZipEntry>& entries);

// The same for entries held as texts (name, content).
void WriteZipArchive(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace qelocal
