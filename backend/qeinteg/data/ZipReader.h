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
    // Bounds against archives built to exhaust memory or disk. An export that passes one fails
    // with Status() kLimitExceeded; the bytes are counted as they are inflated, so an entry whose
    // recorded size lies is caught as well.
    struct Limits {
        // ExportString holds at most this many bytes of one entry in memory (256 MiB).
        std::uint64_t maxStringBytes = std::uint64_t{256} << 20;
        // ExportFullDirectory writes at most this many bytes in one call (16 GiB).
        std::uint64_t maxExtractBytes = std::uint64_t{16} << 30;
        // An entry may inflate to at most this many times its compressed size, once it is past
        // ratioFloorBytes (small entries of one repeated byte legitimately compress further).
        std::uint64_t maxRatio = 1000;
        std::uint64_t ratioFloorBytes = std::uint64_t{1} << 20;
    };
    // Status() after an export refused by the limits, and after ExportFullDirectory met a file
    // entry whose name it had already extracted.
    static constexpr std::int32_t kLimitExceeded = -1001;
    static constexpr std::int32_t kDuplicateEntry = -1002;

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

    // Replaces the default Limits for the exports that follow.
    void SetLimits(const Limits& limits);
    const Limits& GetLimits() const;

    // The current entry's bytes. False when the entry cannot be opened, its data is damaged
    // (checksum included), it passes the limits or, for streams and files, cannot be written.
    bool ExportString(std::string& text);
    bool ExportStream(std::ostream& out);
    // Writes the current entry to a new file at `path`; a file left incomplete is removed.
    bool ExportFile(const std::string& path);
    // Recreates the archive's tree below `path`, which must be a writable directory or be
    // creatable in one step. Entries that would land outside it (absolute names, drive letters,
    // ".." components), a file entry whose name was already extracted, and an archive passing the
    // limits end the extraction with false. On false, every file and directory this call created
    // is removed again; what existed before the call is never removed.
    bool ExportFullDirectory(const std::string& path);

    // The result of the last failing minizip call; 0 while all is well, -1 before opening.
    std::int32_t Status() const;

  private:
    // ExportFile, writing at most maxBytes; `written` receives the bytes written.
    bool ExportFileWithin(const std::string& path, std::uint64_t maxBytes, std::uint64_t& written);

    class Impl;
    std::unique_ptr<Impl> impl_;
};
