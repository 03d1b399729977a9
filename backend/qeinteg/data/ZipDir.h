// Packing a directory tree into a zip archive and unpacking one into a directory.
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"

// Creates the archive at `archivePath` holding the tree below `directory`; true when the archive
// was written completely.
QEINTEG_EXPORT bool ZipDir(const std::string& archivePath, const std::string& directory);
// Extracts the archive at `archivePath` below `directory` (see ZipReader::ExportFullDirectory).
QEINTEG_EXPORT bool UnzipToDir(const std::string& archivePath, const std::string& directory);
