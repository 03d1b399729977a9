// Reads a zip archive entry by entry and extracts entries to strings, streams, files or a
// directory tree.
//
// Failures are sticky: once a minizip call has failed, every later operation does nothing and
// returns false. Passing the last entry counts as such a failure, so the entries can be walked
// once (GetFirst, then GetNext until it returns false); a new reader is needed to start over.
// Entry names are given with "/" separators, also for archives written with "\".
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT ZipReader {
  public:
    ZipReader();
    // Opens the archive at `path` at once (see Open).
    explicit ZipReader(const std::string& path);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens an existing archive; when one is open already it is kept and the result is true.
    bool Open(const std::string& path);
    bool IsOpen() const;
    // Number of entries recorded in the archive's central directory (0 when not open).
    std::int64_t GetEntryCount() const;

    // Moves to the first or next entry and gives its name and whether it is a directory entry
    // (a name ending in a separator). Names longer than 259 bytes are refused.
    bool GetFirst(std::string& name, bool& isDirectory);
    bool GetNext(std::string& name, bool& isDirectory);
    // Makes the named entry current; a name written with either separator matches.
    bool GotoFile(const std::string& name);

    // The current entry's bytes. False when the entry cannot be opened, its data is damaged
    // (checksum included) or, for streams and files, cannot be written.
    bool ExportString(std::string& text);
    bool ExportStream(std::ostream& out);
    // Writes the current entry to a new file at `path`; a file left incomplete is removed.
    bool ExportFile(const std::string& path);
    // Recreates the archive's tree below `path`, which must be a writable directory or be
    // creatable in one step. Entries that would land outside it (absolute names, drive letters,
    // ".." components) are refused and end the extraction with false.
    bool ExportFullDirectory(const std::string& path);

    // The result of the last failing minizip call; 0 while all is well, -1 before opening.
    std::int32_t Status() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};
