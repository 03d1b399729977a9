// Writes a new zip archive entry by entry: strings, streams, files and whole directory trees.
//
// Failures are sticky: once a minizip call has failed, every later operation does nothing and
// returns false, so a caller may add many entries and test only the last result. A new writer is
// needed to try again. Entry names use "/" whatever separator the caller wrote; archives larger
// than 4 GiB or with more than 65,535 entries get the zip64 records they need.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT ZipWriter {
  public:
    ZipWriter();
    // Creates the archive at `path` at once (see Open).
    explicit ZipWriter(const std::string& path);
    // Closes the archive, writing its central directory.
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Creates a new, empty archive at `path` (an existing file is replaced). When an archive is
    // open already it is kept and the result is true.
    bool Open(const std::string& path);
    bool IsOpen() const;
    // Writes the central directory and closes the archive; true when the archive is complete and
    // no earlier operation failed. The writer may then open another archive.
    bool Close();

    // One entry holding `text`.
    bool AddString(const std::string& name, const std::string& text);
    // One entry holding the rest of the stream's bytes.
    bool AddStream(const std::string& name, std::istream& in);
    // One entry holding the file at `path`; false when the file cannot be opened or read.
    bool AddFile(const std::string& name, const std::string& path);
    // An empty directory entry; a "/" is appended when the name does not end in a separator.
    bool AddDirectoryName(const std::string& name);
    // Every file and subdirectory below `path`, named relative to it. A missing directory adds
    // nothing and succeeds. Stops at the first failure.
    bool AddFullDirectory(const std::string& path);

    // The result of the last failing minizip call; 0 while all is well, -1 before opening.
    std::int32_t Status() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};
