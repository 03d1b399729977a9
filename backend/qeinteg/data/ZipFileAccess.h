// Internal to the zip classes (not exported): the minizip file-function table that opens archives
// through the host's file-name class, entry-name rules, and the few path and directory operations
// that packing and unpacking a tree need.
#pragma once

#include <minizip/ioapi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qezip {

// The longest entry name the zip format can record (a 16-bit length field).
inline constexpr std::size_t kMaxEntryNameBytes = 0xFFFF;
// Names read from an archive go through a buffer of this many bytes, terminator included.
inline constexpr std::size_t kNameBufferBytes = 260;
// Entries whose size may reach this many bytes get zip64 size fields: deflate can grow
// incompressible data slightly, so stay well below the 32-bit limit.
inline constexpr std::uint64_t kZip64Threshold = 0xF0000000ull;

// Fills `table` with file functions over the C stream functions; files are opened through the
// host's file-name class. When `lastOpened` is not null it receives the stream most recently
// opened through the table (and is cleared when that stream closes).
void FillFileFunctions(zlib_filefunc64_def& table, FILE** lastOpened);

// Opens a file (path in the host code page) through the host's file-name class.
FILE* OpenFile(const std::string& path, const char* mode);
// Deletes a file (path in the host code page); false when it could not be deleted.
bool RemoveFile(const std::string& path);

struct DirStatus {
    bool exists = false;
    bool readOnly = false;
    // The expanded directory path, ending in a separator.
    std::string path;
};
DirStatus InspectDir(const std::string& path);

struct DirEntry {
    std::string name;
    bool isDirectory = false;
};
// The entries of a directory (without "." and ".."), in listing order.
std::vector<DirEntry> ListDir(const std::string& directory);

// Identity of a file system object, for telling that two paths or streams are the same file.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool valid = false;
    bool operator==(const FileId&) const = default;
};
FileId IdOfPath(const std::string& path);
FileId IdOfStream(FILE* stream);
// True when the open stream is a regular file (not a directory or device).
bool IsRegularFile(FILE* stream);

// True when the file is a well-formed archive without entries (minizip refuses to open those).
bool IsEmptyArchive(const std::string& path);
// minizip writes zip64 end records for large archives but not for many entries: its end record
// then says 0xFFFF entries with nothing behind it, which other readers reject. Adds the zip64
// end record and locator before the end record of a closed archive holding `entries` entries
// when they are missing; false when the archive could not be updated.
bool AddZip64EndRecords(const std::string& path, std::uint64_t entries);

// True when the name holds non-ASCII characters and is valid UTF-8, so that it should carry the
// zip format's UTF-8 flag.
bool NeedsUtf8Flag(const std::string& name);

// True when extracting the entry (a name already in "/" form) below a target directory cannot
// reach outside it: not empty, not absolute, no drive letter, no ".." component, no zero byte.
bool IsSafeEntryName(const std::string& name);

}  // namespace qezip
