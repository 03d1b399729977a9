// Reads entries of the zip archives that jobs take as inputs (model archives, preparation outputs).
#pragma once

#include <optional>
#include <string>

namespace qelocal {

// The content of entry `name` of the archive at `path`; nullopt when the entry is absent. Throws
// EngineError when the file cannot be opened as a zip archive or the entry cannot be read whole.
std::optional<std::string> ReadZipEntry(const std::string& path, const std::string& name);

}  // namespace qelocal
