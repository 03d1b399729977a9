#include "qeinteg/data/ZipFileAccess.h"

#include "qeinteg/data/DirectorySpecific.h"
#include "qeinteg/data/OsPath.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

namespace qezip {

using qeinteg::detail::ToOsPath;

namespace {

voidpf ZCALLBACK OpenCallback(voidpf opaque, const void* filename, int mode) {
    if (filename == nullptr)
        return nullptr;
    const char* fopenMode = nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) {
        fopenMode = "rb";
    } else if (mode & ZLIB_FILEFUNC_MODE_EXISTING) {
        fopenMode = "r+b";
    } else if (mode & ZLIB_FILEFUNC_MODE_CREATE) {
        fopenMode = "wb";
    } else {
        return nullptr;
    }
    FILE* stream = OpenFile(static_cast<const char*>(filename), fopenMode);
    if (opaque != nullptr)
        *static_cast<FILE**>(opaque) = stream;
    return stream;
}

uLong ZCALLBACK ReadCallback(voidpf, voidpf stream, void* buf, uLong size) {
    return static_cast<uLong>(std::fread(buf, 1, size, static_cast<FILE*>(stream)));
}

uLong ZCALLBACK WriteCallback(voidpf, voidpf stream, const void* buf, uLong size) {
    return static_cast<uLong>(std::fwrite(buf, 1, size, static_cast<FILE*>(stream)));
}

ZPOS64_T ZCALLBACK TellCallback(voidpf, voidpf stream) {
    const off_t pos = ftello(static_cast<FILE*>(stream));
    return pos < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(pos);
}

long ZCALLBACK SeekCallback(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int whence = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            whence = SEEK_SET;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            whence = SEEK_CUR;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            whence = SEEK_END;
            break;
        default:
            return -1;
    }
    return fseeko(static_cast<FILE*>(stream), static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int ZCALLBACK CloseCallback(voidpf opaque, voidpf stream) {
    if (opaque != nullptr && *static_cast<FILE**>(opaque) == stream) {
        *static_cast<FILE**>(opaque) = nullptr;
    }
    return std::fclose(static_cast<FILE*>(stream));
}

int ZCALLBACK ErrorCallback(voidpf, voidpf stream) {
    return std::ferror(static_cast<FILE*>(stream));
}

FileId IdOfStat(const struct stat& st) {
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                  true};
}

}  // namespace

void FillFileFunctions(zlib_filefunc64_def& table, FILE** lastOpened) {
    table.zopen64_file = &OpenCallback;
    table.zread_file = &ReadCallback;
    table.zwrite_file = &WriteCallback;
    table.ztell64_file = &TellCallback;
    table.zseek64_file = &SeekCallback;
    table.zclose_file = &CloseCallback;
    table.zerror_file = &ErrorCallback;
    table.opaque = lastOpened;
}

FILE* OpenFile(const std::string& path, const char* mode) {
    if (path.empty())
        return nullptr;
    ExtNameStr name;
    name.SetGeneric(path);
    return name.fopen(mode);
}

bool RemoveFile(const std::string& path) {
    if (path.empty())
        return false;
    ExtNameStr name;
    name.SetGeneric(path);
    return name.remove();
}

DirStatus InspectDir(const std::string& path) {
    DirStatus status;
    const DirectorySpecific dir(path);
    status.exists = dir.Exists();
    status.path = dir.ExpandPath();
    status.readOnly = dir.ReadOnly();
    if (status.exists && !status.readOnly) {
        // A directory without any write permission counts as read-only even for a user (root)
        // whom the system would let write there.
        struct stat st {};
        status.readOnly = ::stat(ToOsPath(status.path).c_str(), &st) == 0 &&
                          (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }
    return status;
}

std::vector<DirEntry> ListDir(const std::string& directory) {
    std::vector<DirEntry> entries;
    DirectorySpecific dir(directory);
    for (bool more = dir.BrowseFile(); more; more = dir.Next()) {
        DirEntry entry;
        dir.GetFileSpec(entry.name, entry.isDirectory);
        entries.push_back(std::move(entry));
    }
    return entries;
}

FileId IdOfPath(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(ToOsPath(path).c_str(), &st) != 0)
        return {};
    return IdOfStat(st);
}

FileId IdOfStream(FILE* stream) {
    struct stat st {};
    if (stream == nullptr || ::fstat(::fileno(stream), &st) != 0)
        return {};
    return IdOfStat(st);
}

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr long kEndRecordBytes = 22;
constexpr long kZip64LocatorBytes = 20;

std::uint64_t GetLE(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void PutLE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool ReadAt(FILE* stream, off_t offset, unsigned char* buffer, std::size_t size) {
    return fseeko(stream, offset, SEEK_SET) == 0 && std::fread(buffer, 1, size, stream) == size;
}

}  // namespace

bool IsEmptyArchive(const std::string& path) {
    FILE* stream = OpenFile(path, "rb");
    if (stream == nullptr)
        return false;
    unsigned char end[kEndRecordBytes];
    bool empty = false;
    if (fseeko(stream, 0, SEEK_END) == 0) {
        const off_t size = ftello(stream);
        // An archive without entries is its end record, perhaps with a comment.
        if (size >= kEndRecordBytes && ReadAt(stream, 0, end, sizeof end)) {
            empty = GetLE(end, 4) == kEndSignature && GetLE(end + 8, 2) == 0 &&
                    GetLE(end + 10, 2) == 0 && GetLE(end + 12, 4) == 0 &&
                    static_cast<off_t>(kEndRecordBytes + GetLE(end + 20, 2)) == size;
        }
    }
    std::fclose(stream);
    return empty;
}

bool AddZip64EndRecords(const std::string& path, std::uint64_t entries) {
    FILE* stream = OpenFile(path, "r+b");
    if (stream == nullptr)
        return false;
    bool ok = false;
    unsigned char end[kEndRecordBytes];
    unsigned char locator[kZip64LocatorBytes];
    do {
        if (fseeko(stream, 0, SEEK_END) != 0)
            break;
        const off_t size = ftello(stream);
        // Our archives carry no comment, so the end record closes the file.
        if (size < kEndRecordBytes || !ReadAt(stream, size - kEndRecordBytes, end, sizeof end) ||
            GetLE(end, 4) != kEndSignature || GetLE(end + 20, 2) != 0) {
            break;
        }
        const off_t endPos = size - kEndRecordBytes;
        if (endPos >= kZip64LocatorBytes &&
            ReadAt(stream, endPos - kZip64LocatorBytes, locator, sizeof locator) &&
            GetLE(locator, 4) == kZip64LocatorSignature) {
            ok = true;  // already there
            break;
        }
        const std::uint64_t directorySize = GetLE(end + 12, 4);
        const std::uint64_t directoryOffset = GetLE(end + 16, 4);
        if (directoryOffset == 0xFFFFFFFF ||
            directoryOffset + directorySize != static_cast<std::uint64_t>(endPos)) {
            break;
        }
        std::string tail;
        PutLE(tail, kZip64EndSignature, 4);
        PutLE(tail, 44, 8);  // size of the rest of the record
        PutLE(tail, 45, 2);  // version made by
        PutLE(tail, 45, 2);  // version needed
        PutLE(tail, 0, 4);   // this disk
        PutLE(tail, 0, 4);   // disk holding the central directory
        PutLE(tail, entries, 8);
        PutLE(tail, entries, 8);
        PutLE(tail, directorySize, 8);
        PutLE(tail, directoryOffset, 8);
        PutLE(tail, kZip64LocatorSignature, 4);
        PutLE(tail, 0, 4);
        PutLE(tail, static_cast<std::uint64_t>(endPos), 8);
        PutLE(tail, 1, 4);  // total disks
        tail.append(reinterpret_cast<const char*>(end), sizeof end);
        // The 16-bit counts say "see the zip64 record".
        tail[tail.size() - kEndRecordBytes + 8] = tail[tail.size() - kEndRecordBytes + 9] = '\xFF';
        tail[tail.size() - kEndRecordBytes + 10] = tail[tail.size() - kEndRecordBytes + 11] =
            '\xFF';
        ok = fseeko(stream, endPos, SEEK_SET) == 0 &&
             std::fwrite(tail.data(), 1, tail.size(), stream) == tail.size();
    } while (false);
    if (std::fclose(stream) != 0)
        ok = false;
    return ok;
}

bool IsRegularFile(FILE* stream) {
    struct stat st {};
    return stream != nullptr && ::fstat(::fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

bool NeedsUtf8Flag(const std::string& name) {
    bool nonAscii = false;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        std::size_t length = 0;
        std::uint32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > name.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return nonAscii;
}

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return false;
    if (name.find('\0') != std::string::npos)
        return false;
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (std::string_view(name).substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace qezip
