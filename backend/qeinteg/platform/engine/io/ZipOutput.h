// Writes the named entries of an output container's zip archive.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qelocal {

// Creates (or replaces) the zip archive at `path` holding `entries` (name, content), deflated.
// Throws EngineError on failure; a failed archive is removed.
void WriteZipArchive(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace qelocal
