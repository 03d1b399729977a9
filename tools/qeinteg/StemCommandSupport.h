// What the spatio-temporal subcommands (geojson, match-keys) share.
#pragma once

#include <string>
#include <vector>

class QEInteractiveSTEM;

namespace stemcli {

// A whole number >= 0 (or -1 when allowNone) into value.
bool ParseCount(const std::string& text, int& value, bool allowNone = false);
// An http:// or https:// address.
bool IsServiceUrl(const std::string& text);
// Whether path ends in ext, compared without regard to case.
bool HasExtension(const std::string& path, const std::string& ext);
// A file path made absolute against the current directory (the engine resolves relative paths
// against its own work directory); URLs and empty text unchanged.
std::string Absolute(const std::string& path);
// The reason the front-end gave for its last failure, as one line, else `fallback`.
std::string Reason(QEInteractiveSTEM& stem, const std::string& fallback);

}  // namespace stemcli
