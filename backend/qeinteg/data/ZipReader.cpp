#include "qeinteg/data/ZipReader.h"

#include <minizip/unzip.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <unordered_set>
#include <vector>

#include "qeinteg/data/OsPath.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/data/ZipFileAccess.h"

namespace {

// Large blocks keep the per-call cost of minizip and the sinks small.
constexpr unsigned kReadBlock = 64 * 1024;

bool EndsInSeparator(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

}  // namespace

class ZipReader::Impl {
  public:
    std::string path;
    bool open = false;
    std::int64_t entryCount = 0;
    unzFile handle = nullptr;
    std::int32_t status = -1;
    zlib_filefunc64_def functions{};
    Limits limits;

    Impl() { qezip::FillFileFunctions(functions, nullptr); }

    bool Usable() const { return open && status == 0; }

    bool Check(int result) {
        if (result != UNZ_OK)
            status = result;
        return result == UNZ_OK;
    }

    // The current entry's stored name, or false when it does not fit the name buffer.
    bool CurrentName(std::string& stored) {
        unz_file_info64 info{};
        char buffer[qezip::kNameBufferBytes] = {};
        if (!Check(unzGetCurrentFileInfo64(handle, &info, buffer, sizeof buffer, nullptr, 0,
                                           nullptr, 0))) {
            return false;
        }
        // A longer name would arrive cut off and unterminated.
        if (info.size_filename >= qezip::kNameBufferBytes)
            return false;
        stored.assign(buffer, info.size_filename);
        return true;
    }

    bool ReadCurrent(std::string& name, bool& isDirectory) {
        std::string stored;
        if (!CurrentName(stored))
            return false;
        isDirectory = EndsInSeparator(stored);
        name = FormalizeFilePath(stored, false);
        return true;
    }

    // Streams the current entry into `sink`; a sink that cannot take the bytes ends the export
    // with false. Damaged data, including a checksum mismatch, fails the reader, and so does an
    // entry inflating past `maxBytes` or past the ratio limit.
    bool Export(const std::function<bool(const char*, std::size_t)>& sink,
                std::uint64_t maxBytes = UINT64_MAX) {
        if (!Usable())
            return false;
        unz_file_info64 info{};
        if (!Check(unzGetCurrentFileInfo64(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0)) ||
            !Check(unzOpenCurrentFile(handle))) {
            return false;
        }
        // Refuse on the recorded sizes before inflating anything; the counts below catch an
        // entry whose recorded sizes lie.
        if (info.uncompressed_size > maxBytes ||
            TooInflated(info.uncompressed_size, info.compressed_size)) {
            unzCloseCurrentFile(handle);
            status = kLimitExceeded;
            return false;
        }
        std::vector<char> buffer(kReadBlock);
        bool ok = true;
        std::uint64_t total = 0;
        for (;;) {
            const int n = unzReadCurrentFile(handle, buffer.data(), kReadBlock);
            if (n < 0) {
                status = n;
                ok = false;
                break;
            }
            if (n == 0)
                break;
            total += static_cast<std::uint64_t>(n);
            if (total > info.uncompressed_size) {
                status = UNZ_BADZIPFILE;  // more data than recorded
                ok = false;
                break;
            }
            if (total > maxBytes || TooInflated(total, info.compressed_size)) {
                status = kLimitExceeded;
                ok = false;
                break;
            }
            if (!sink(buffer.data(), static_cast<std::size_t>(n))) {
                ok = false;
                break;
            }
        }
        const int closed = unzCloseCurrentFile(handle);
        // minizip verifies the checksum only when the data ran to its recorded length; damaged
        // data that ends early would otherwise pass as a shorter entry.
        if (ok && total != info.uncompressed_size) {
            status = UNZ_BADZIPFILE;
            ok = false;
        }
        if (ok && closed != UNZ_OK) {
            status = closed;
            ok = false;
        }
        return ok;
    }

    bool TooInflated(std::uint64_t inflated, std::uint64_t compressed) const {
        if (inflated <= limits.ratioFloorBytes)
            return false;
        return compressed == 0 || inflated / compressed >= limits.maxRatio;
    }

    bool GotoFormalized(const std::string& wanted);
};

bool ZipReader::Impl::GotoFormalized(const std::string& wanted) {
    unz64_file_pos before{};
    if (unzGetFilePos64(handle, &before) != UNZ_OK)
        return false;
    for (int r = unzGoToFirstFile(handle); r == UNZ_OK; r = unzGoToNextFile(handle)) {
        unz_file_info64 info{};
        char buffer[qezip::kNameBufferBytes] = {};
        if (unzGetCurrentFileInfo64(handle, &info, buffer, sizeof buffer, nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            info.size_filename >= qezip::kNameBufferBytes) {
            continue;
        }
        if (FormalizeFilePath(std::string(buffer, info.size_filename), false) == wanted) {
            return true;
        }
    }
    unzGoToFilePos64(handle, &before);
    return false;
}

ZipReader::ZipReader() : impl_(std::make_unique<Impl>()) {}

ZipReader::ZipReader(const std::string& path) : ZipReader() {
    Open(path);
}

ZipReader::~ZipReader() {
    if (impl_->handle != nullptr)
        unzClose(impl_->handle);
}

bool ZipReader::Open(const std::string& path) {
    if (impl_->open)
        return true;
    if (impl_->status != -1)
        return false;
    impl_->handle = unzOpen2_64(path.c_str(), &impl_->functions);
    if (impl_->handle == nullptr) {
        // minizip refuses archives without entries; they open here as an empty list.
        if (!qezip::IsEmptyArchive(path))
            return false;
        impl_->path = path;
        impl_->entryCount = 0;
        impl_->open = true;
        impl_->status = 0;
        return true;
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(impl_->handle, &global) != UNZ_OK) {
        unzClose(impl_->handle);
        impl_->handle = nullptr;
        return false;
    }
    impl_->path = path;
    impl_->entryCount = static_cast<std::int64_t>(global.number_entry);
    impl_->open = true;
    impl_->status = 0;
    return true;
}

bool ZipReader::IsOpen() const {
    return impl_->open;
}

std::int64_t ZipReader::GetEntryCount() const {
    return impl_->open ? impl_->entryCount : 0;
}

bool ZipReader::GetFirst(std::string& name, bool& isDirectory) {
    if (impl_->Usable() && impl_->handle == nullptr)
        impl_->status = UNZ_END_OF_LIST_OF_FILE;
    if (!impl_->Usable() || !impl_->Check(unzGoToFirstFile(impl_->handle)))
        return false;
    return impl_->ReadCurrent(name, isDirectory);
}

bool ZipReader::GetNext(std::string& name, bool& isDirectory) {
    if (!impl_->Usable() || !impl_->Check(unzGoToNextFile(impl_->handle)))
        return false;
    return impl_->ReadCurrent(name, isDirectory);
}

bool ZipReader::GotoFile(const std::string& name) {
    if (impl_->Usable() && impl_->handle == nullptr)
        impl_->status = UNZ_END_OF_LIST_OF_FILE;
    if (!impl_->Usable())
        return false;
    const int result = unzLocateFile(impl_->handle, name.c_str(), 0);
    if (result == UNZ_OK)
        return true;
    // Archives written on Windows may store "\" where the caller writes "/", or the reverse.
    if (result == UNZ_END_OF_LIST_OF_FILE &&
        impl_->GotoFormalized(FormalizeFilePath(name, false))) {
        return true;
    }
    impl_->status = result;
    return false;
}

void ZipReader::SetLimits(const Limits& limits) {
    impl_->limits = limits;
}

const ZipReader::Limits& ZipReader::GetLimits() const {
    return impl_->limits;
}

bool ZipReader::ExportString(std::string& text) {
    if (!impl_->Usable())
        return false;
    text.clear();
    const bool ok = impl_->Export(
        [&](const char* data, std::size_t size) {
            text.append(data, size);
            return true;
        },
        impl_->limits.maxStringBytes);
    if (!ok)
        std::string().swap(text);  // a refused entry leaves no partial text behind
    return ok;
}

bool ZipReader::ExportStream(std::ostream& out) {
    return impl_->Export([&](const char* data, std::size_t size) {
        out.write(data, static_cast<std::streamsize>(size));
        return static_cast<bool>(out);
    });
}

bool ZipReader::ExportFile(const std::string& path) {
    std::uint64_t written = 0;
    return ExportFileWithin(path, UINT64_MAX, written);
}

bool ZipReader::ExportFileWithin(const std::string& path, std::uint64_t maxBytes,
                                 std::uint64_t& written) {
    written = 0;
    if (!impl_->Usable())
        return false;
    const std::string target = FormalizeFilePath(path, false);
    FILE* out = qezip::OpenFile(target, "wb");
    if (out == nullptr)
        return false;
    bool ok = impl_->Export(
        [&](const char* data, std::size_t size) {
            written += size;
            return std::fwrite(data, 1, size, out) == size;
        },
        maxBytes);
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        qezip::RemoveFile(target);
    return ok;
}

bool ZipReader::ExportFullDirectory(const std::string& path) {
    if (!impl_->Usable())
        return false;
    // What this call creates, in creation order, so that a failure can take it back.
    std::vector<std::string> created;
    auto makeDir = [&created](const std::string& dir) {
        if (qezip::InspectDir(dir).exists)
            return true;
        if (!MakeDir(dir))
            return false;
        created.push_back(dir);
        return true;
    };
    auto fail = [&created] {
        for (auto it = created.rbegin(); it != created.rend(); ++it) {
            const std::string os = qeinteg::detail::ToOsPath(*it);
            struct stat st {};
            if (::lstat(os.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                ::rmdir(os.c_str());  // only when empty: never what someone else put there
            } else {
                qezip::RemoveFile(*it);
            }
        }
        return false;
    };

    qezip::DirStatus target = qezip::InspectDir(path);
    if (!target.exists) {
        if (!makeDir(path))
            return false;
        target = qezip::InspectDir(path);
        if (!target.exists)
            return fail();
    }
    if (target.readOnly)
        return fail();

    std::unordered_set<std::string> extracted;
    std::uint64_t budget = impl_->limits.maxExtractBytes;
    std::string name;
    bool isDirectory = false;
    for (bool more = GetFirst(name, isDirectory); more; more = GetNext(name, isDirectory)) {
        if (!qezip::IsSafeEntryName(name))
            return fail();
        const std::string entryPath = target.path + name;
        if (isDirectory) {
            // A directory entry must be new (an extraction never merges into what is there).
            if (!MakeDir(entryPath))
                return fail();
            created.push_back(entryPath);
            continue;
        }
        // A second entry of the same name would silently replace the first.
        if (!extracted.insert(name).second) {
            impl_->status = kDuplicateEntry;
            return fail();
        }
        // Archives need not list a file's directories before the file itself.
        for (std::size_t slash = name.find('/'); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            if (!makeDir(target.path + name.substr(0, slash)))
                return fail();
        }
        struct stat before {};
        const bool existed =
            ::lstat(qeinteg::detail::ToOsPath(FormalizeFilePath(entryPath, false)).c_str(),
                    &before) == 0;
        std::uint64_t written = 0;
        const bool ok = ExportFileWithin(entryPath, budget, written);
        if (!existed && ok)
            created.push_back(entryPath);
        if (!ok)
            return fail();
        budget -= written;
    }
    // Only the end of the entry list ends the walk well; any other failure is damage.
    if (impl_->status != UNZ_END_OF_LIST_OF_FILE)
        return fail();
    return true;
}

std::int32_t ZipReader::Status() const {
    return impl_->status;
}
