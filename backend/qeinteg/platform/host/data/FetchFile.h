// Reads a file the host or the engine wrote back into memory, for procedures that hand its text on
// (data models and GeoJSON documents of the spatio-temporal dialog).
#pragma once

#include <string>

class FetchFile {
  public:
    // The whole content of the file at `path` (host code page) into `content`. False, with
    // content emptied, when the path is empty, names no regular file or cannot be read completely.
    static bool fetch(const std::string& path, std::string& content);
};
