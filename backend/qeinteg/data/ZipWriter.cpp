#include "qeinteg/data/ZipWriter.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/data/ZipFileAccess.h"

namespace {

constexpr std::size_t kStreamBlock = 8192;
constexpr std::size_t kFileBlock = 64 * 1024;
// zipWriteInFileInZip takes a 32-bit length; large strings go in slices.
constexpr std::size_t kMaxWriteSlice = 1u << 20;
constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};
// "Version made by": Unix (3), zip format 2.0.
constexpr uLong kMadeByUnix = (3u << 8) | 20u;
// Unix mode in the upper half; 0x10 is the DOS directory attribute.
constexpr uLong kUnixFileAttributes = 0100644ul << 16;
constexpr uLong kUnixDirectoryAttributes = (040755ul << 16) | 0x10u;
// General purpose bit 11: the entry's name is UTF-8.
constexpr uLong kUtf8NameFlag = 1u << 11;
#ifndef DEF_MEM_LEVEL
constexpr int DEF_MEM_LEVEL = 8;
#endif

// The bytes left in a stream, or kUnknownSize when it cannot seek.
std::uint64_t RemainingBytes(std::istream& in) {
    const std::istream::pos_type start = in.tellg();
    if (start == std::istream::pos_type(-1)) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        return kUnknownSize;
    }
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.clear(in.rdstate() & ~std::ios::failbit);
    in.seekg(start);
    if (end == std::istream::pos_type(-1) || !in) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        return kUnknownSize;
    }
    return end >= start ? static_cast<std::uint64_t>(end - start) : kUnknownSize;
}

}  // namespace

class ZipWriter::Impl {
  public:
    std::string path;
    bool open = false;
    zipFile handle = nullptr;
    std::int32_t status = -1;
    std::uint64_t entries = 0;
    // The archive's own stream, so that a tree holding the archive does not pack it into itself.
    FILE* archiveStream = nullptr;
    zlib_filefunc64_def functions{};

    Impl() { qezip::FillFileFunctions(functions, &archiveStream); }

    bool Usable() const { return open && status == 0; }

    // Records a minizip result; true when it was a success.
    bool Check(int result) {
        if (result != ZIP_OK)
            status = result;
        return result == ZIP_OK;
    }

    bool WriteBytes(const char* data, std::size_t size) {
        while (size > 0) {
            const std::size_t slice = std::min(size, kMaxWriteSlice);
            if (!Check(zipWriteInFileInZip(handle, data, static_cast<unsigned>(slice))))
                return false;
            data += slice;
            size -= slice;
        }
        return true;
    }

    // Opens an entry, lets `write` fill it, closes it. `size` is the entry's length when known
    // (kUnknownSize otherwise); it decides whether the entry needs zip64 size fields.
    bool AddEntry(const std::string& callerName, std::uint64_t size,
                  const std::function<bool()>& write) {
        if (!Usable())
            return false;
        const std::string name = FormalizeFilePath(callerName, false);
        // minizip would silently truncate the 16-bit name length; an empty name is no entry.
        if (name.empty() || name.size() > qezip::kMaxEntryNameBytes)
            return false;
        // No date. The entry is marked as made on Unix with plain permissions: readers take
        // names from DOS-made entries for an old DOS code page, whatever the UTF-8 flag says.
        zip_fileinfo info{};
        const bool directory = name.back() == '/';
        info.external_fa = directory ? kUnixDirectoryAttributes : kUnixFileAttributes;
        const uLong flags = qezip::NeedsUtf8Flag(name) ? kUtf8NameFlag : 0;
        const int zip64 = size >= qezip::kZip64Threshold ? 1 : 0;
        if (!Check(zipOpenNewFileInZip4_64(handle, name.c_str(), &info, nullptr, 0, nullptr, 0,
                                           nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0,
                                           -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                           0, kMadeByUnix, flags, zip64))) {
            return false;
        }
        const bool written = write();
        const bool closed = Check(zipCloseFileInZip(handle));
        if (closed)
            ++entries;
        return written && closed && status == 0;
    }

    bool AddFileEntry(const std::string& name, const std::string& filePath) {
        if (!Usable())
            return false;
        FILE* in = qezip::OpenFile(FormalizeFilePath(filePath, false), "rb");
        if (in == nullptr)
            return false;
        // A directory opens for reading here but has no bytes to give.
        if (!qezip::IsRegularFile(in)) {
            std::fclose(in);
            return false;
        }
        std::uint64_t size = kUnknownSize;
        if (fseeko(in, 0, SEEK_END) == 0) {
            const off_t end = ftello(in);
            if (end >= 0)
                size = static_cast<std::uint64_t>(end);
        }
        std::rewind(in);
        const bool ok = AddEntry(name, size, [&] {
            std::vector<char> buffer(kFileBlock);
            for (;;) {
                const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
                if (n > 0 && !WriteBytes(buffer.data(), n))
                    return false;
                if (n < buffer.size())
                    return std::ferror(in) == 0;
            }
        });
        std::fclose(in);
        return ok;
    }

    bool AddTree(const std::string& directory, const std::string& prefix,
                 std::vector<qezip::FileId>& ancestors);

    bool Close() {
        if (!open)
            return false;
        const int result = zipClose(handle, nullptr);
        handle = nullptr;
        open = false;
        if (result != ZIP_OK) {
            status = result;
            return false;
        }
        if (entries >= 0xFFFF && !qezip::AddZip64EndRecords(path, entries)) {
            status = ZIP_ERRNO;
            return false;
        }
        if (status != 0)
            return false;
        status = -1;
        return true;
    }
};

bool ZipWriter::Impl::AddTree(const std::string& directory, const std::string& prefix,
                              std::vector<qezip::FileId>& ancestors) {
    const qezip::DirStatus dir = qezip::InspectDir(directory);
    if (!dir.exists)
        return true;
    // A link back to a directory being walked would make the walk endless.
    const qezip::FileId self = qezip::IdOfPath(dir.path);
    if (self.valid && std::find(ancestors.begin(), ancestors.end(), self) != ancestors.end()) {
        return true;
    }
    ancestors.push_back(self);
    const qezip::FileId archive = qezip::IdOfStream(archiveStream);
    bool ok = true;
    for (const qezip::DirEntry& entry : qezip::ListDir(dir.path)) {
        const std::string entryName = prefix.empty() ? entry.name : prefix + "/" + entry.name;
        const std::string fullPath = dir.path + entry.name;
        if (entry.isDirectory) {
            AddEntry(entryName + "/", 0, [] { return true; });
            ok = status == 0 && AddTree(fullPath, entryName, ancestors);
        } else if (archive.valid && qezip::IdOfPath(fullPath) == archive) {
            continue;
        } else {
            ok = AddFileEntry(entryName, fullPath);
        }
        if (!ok)
            break;
    }
    ancestors.pop_back();
    return ok;
}

ZipWriter::ZipWriter() : impl_(std::make_unique<Impl>()) {}

ZipWriter::ZipWriter(const std::string& path) : ZipWriter() {
    Open(path);
}

ZipWriter::~ZipWriter() {
    if (impl_->open)
        impl_->Close();
}

bool ZipWriter::Open(const std::string& path) {
    if (impl_->open)
        return true;
    // A writer whose archive failed keeps its failure; only a fresh one starts again.
    if (impl_->status != -1)
        return false;
    impl_->handle = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &impl_->functions);
    if (impl_->handle == nullptr)
        return false;
    impl_->path = path;
    impl_->entries = 0;
    impl_->open = true;
    impl_->status = 0;
    return true;
}

bool ZipWriter::IsOpen() const {
    return impl_->open;
}

bool ZipWriter::Close() {
    return impl_->Close();
}

bool ZipWriter::AddString(const std::string& name, const std::string& text) {
    return impl_->AddEntry(name, text.size(),
                           [&] { return impl_->WriteBytes(text.data(), text.size()); });
}

bool ZipWriter::AddStream(const std::string& name, std::istream& in) {
    if (!impl_->Usable())
        return false;
    return impl_->AddEntry(name, RemainingBytes(in), [&] {
        char buffer[kStreamBlock];
        for (;;) {
            in.read(buffer, sizeof buffer);
            const std::streamsize n = in.gcount();
            if (n <= 0)
                break;
            if (!impl_->WriteBytes(buffer, static_cast<std::size_t>(n)))
                return false;
        }
        return !in.bad();
    });
}

bool ZipWriter::AddFile(const std::string& name, const std::string& path) {
    return impl_->AddFileEntry(name, path);
}

bool ZipWriter::AddDirectoryName(const std::string& name) {
    // A bare "/" would be an absolute name.
    if (name.empty())
        return false;
    std::string entry = name;
    if (entry.back() != '/' && entry.back() != '\\')
        entry.push_back('/');
    return impl_->AddEntry(entry, 0, [] { return true; });
}

bool ZipWriter::AddFullDirectory(const std::string& path) {
    if (!impl_->Usable())
        return false;
    std::vector<qezip::FileId> ancestors;
    return impl_->AddTree(path, "", ancestors);
}

std::int32_t ZipWriter::Status() const {
    return impl_->status;
}
