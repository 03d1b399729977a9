#include "qeinteg/data/QEStatUtilities.h"

#include "qeinteg/platform/host/data/TAVO_Variable.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "qeinteg/data/DirectorySpecific.h"
#include "qeinteg/data/FileSpecific.h"
#include "qeinteg/data/OsPath.h"
#include "qeinteg/platform/host/process/CriticalSection.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

using qeinteg::detail::ToOsPath;

namespace {

// Each lock is created on first use and lives for the process, so it is usable from static
// destructors too.
CriticalSection& UniqueNameLock() {
    static auto* section = new CriticalSection();
    return *section;
}

CriticalSection& RemoveDirLock() {
    static auto* section = new CriticalSection();
    return *section;
}

// Position of the last whole-character "/" or "\" in path; npos when there is none.
std::size_t LastSeparator(const std::string& path) {
    std::size_t found = std::string::npos;
    std::size_t i = 0;
    while (i < path.size()) {
        const char c = path[i];
        if (c == '/' || c == '\\')
            found = i;
        const int len = c == '\0' ? 1 : TAVOMBCharLen_A(path.c_str() + i);
        i += static_cast<std::size_t>(len);
    }
    return found;
}

// Called under RemoveDirLock. Removes the directory `osDir` (file-system name, ending in "/") depth
// first. Works on the names as the file system gives them, so names that have no form in the host
// code page go too.
bool RemoveTree(const std::string& osDir) {
    std::vector<std::string> names;
    if (DIR* search = opendir(osDir.c_str())) {
        // Collect first, then delete: removing entries while the listing is open is unspecified.
        while (dirent* entry = readdir(search)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(search);
    }
    for (const std::string& name : names) {
        const std::string full = osDir + name;
        struct stat info;
        if (lstat(full.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            RemoveTree(full + "/");
        } else {
            unlink(full.c_str());
        }
    }
    std::string self = osDir;
    while (self.size() > 1 && self.back() == '/')
        self.pop_back();
    return rmdir(self.c_str()) == 0;
}

struct FileCloser {
    void operator()(FILE* file) const {
        if (file != nullptr)
            std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

int String2Integer(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    int value = 0;
    if (!(in >> value))
        return 0;
    return value;
}

std::string Integer2String(int value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

double String2Double(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0;
    if (!(in >> value))
        return 0;
    return value;
}

std::string Double2String(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string transcodeToUTF8(const char* text, void* converter) {
    std::string out;
    if (text == nullptr)
        return out;
    // Invalid bytes come back as '?': the rest of the text is still worth having.
    TAVOMBGenericToU8(text, out, converter);
    return out;
}

std::string transcodeFromUTF8(const char* text, void* converter) {
    std::string out;
    if (text == nullptr)
        return out;
    TAVOMBU8ToGeneric(text, out, converter);
    return out;
}

void ConvertObsValToStr(const OBS* value, int length, std::string& text) {
    text.clear();
    if (value == nullptr || length < 0)
        return;
    if (length > 0) {
        const char* bytes = reinterpret_cast<const char*>(value);
        const void* zero = std::memchr(bytes, '\0', static_cast<std::size_t>(length));
        const std::size_t size =
            zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes)
                            : static_cast<std::size_t>(length);
        text.assign(bytes, size);
        TAVOMBstrtrim_A(text);
        return;
    }
    char buffer[64];
    const int written = std::snprintf(buffer, sizeof buffer, "%-.15g", value->f);
    if (written <= 0)
        return;
    text.assign(buffer, static_cast<std::size_t>(std::min<int>(written, sizeof buffer - 1)));
    // The engine reads "." whatever the user's locale.
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && *point != '\0' && std::strcmp(point, ".") != 0) {
        const std::size_t at = text.find(point);
        if (at != std::string::npos)
            text.replace(at, std::strlen(point), 1, '.');
    }
}

std::string NormalizeQelPath(const std::string& path, const std::string& scheme) {
    std::string result;
    // Only a real scheme prefix ("file:") counts, so a relative path such as "files/x.csv" is
    // still turned into a URI.
    const bool hasScheme = TAVOMBstrnccmp_A(path.c_str(), scheme.c_str(), scheme.size()) == 0 &&
                           path.size() > scheme.size() && path[scheme.size()] == ':';
    if (!hasScheme) {
        result = scheme + "://";
        if (scheme.size() == 4 && TAVOMBstrnccmp_A(scheme.c_str(), "file", 4) == 0)
            result += "/";
    }
    std::string rest = path;
    TAVOMBStringReplaceChar_A(rest, '\\', '/');
    result += rest;
    return result;
}

std::string NormalizeQelPathU(const std::string& path, const std::string& scheme) {
    return transcodeToUTF8(NormalizeQelPath(path, scheme).c_str(), nullptr);
}

std::string SeparateFileName(const std::string& path, std::string& directory) {
    const std::size_t at = LastSeparator(path);
    if (at == std::string::npos) {
        directory.clear();
        return path;
    }
    directory = path.substr(0, at + 1);
    return path.substr(at + 1);
}

std::string FormalizeFilePath(const std::string& path, bool trailing) {
    std::string result = path;
    TAVOMBStringReplaceChar_A(result, '\\', '/');
    if (trailing && !result.empty() && result.back() != '/')
        result += '/';
    return result;
}

std::string JoinFilePath(const std::string& a, const std::string& b) {
    std::string first = FormalizeFilePath(a, true);
    std::string second = FormalizeFilePath(b, false);
    if (!first.empty()) {
        const std::size_t start = second.find_first_not_of('/');
        second.erase(0, start == std::string::npos ? second.size() : start);
    }
    return first + second;
}

bool MakeDir(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    return mkdir(ToOsPath(path).c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& path) {
    if (path.empty())
        return false;
    CriticalSectionLock lock(RemoveDirLock());

    // A link is removed as a link: following it would delete what it points to.
    std::string expanded;
    if (ExpandFileSpecification(path, expanded)) {
        std::string target = expanded;
        while (target.size() > 1 && target.back() == '/')
            target.pop_back();
        if (target == "/")
            return false;
        struct stat info;
        if (lstat(ToOsPath(target).c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            return unlink(ToOsPath(target).c_str()) == 0;
        }
    }

    DirectorySpecific dir(path);
    if (!dir.Exists())
        return true;
    return RemoveTree(ToOsPath(dir.ExpandPath()));
}

bool StatCopyFile(const std::string& destination, const std::string& source) {
    ExtNameStr from;
    from.SetGeneric(FormalizeFilePath(source, false));
    ExtNameStr to;
    to.SetGeneric(FormalizeFilePath(destination, false));
    if (from.Empty() || to.Empty())
        return false;

    struct stat fromInfo;
    if (stat(from.GetU8().c_str(), &fromInfo) != 0 || S_ISDIR(fromInfo.st_mode))
        return false;
    struct stat toInfo;
    if (stat(to.GetU8().c_str(), &toInfo) == 0 && toInfo.st_dev == fromInfo.st_dev &&
        toInfo.st_ino == fromInfo.st_ino) {
        return false;  // opening the destination would truncate the source
    }

    FilePtr in(from.fopen("rb"));
    if (!in)
        return false;
    FilePtr out(to.fopen("wb"));
    if (!out)
        return false;
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, in.get());
        if (n > 0 && std::fwrite(buffer, 1, n, out.get()) != n)
            return false;
        if (n < sizeof buffer)
            break;
    }
    if (std::ferror(in.get()))
        return false;
    FILE* raw = out.release();
    return std::fclose(raw) == 0;
}

std::string FormUniqueFileName(const std::string& path) {
    CriticalSectionLock lock(UniqueNameLock());
    if (!FileSpecific(path).Exists())
        return path;

    // The counter goes before the extension of the file name, never into a directory name.
    std::string directory;
    const std::string name = SeparateFileName(path, directory);
    std::string stem = path;
    std::string extension;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        stem = directory + name.substr(0, dot);
        extension = name.substr(dot);
    }
    for (int n = 1; n < INT_MAX; ++n) {
        std::string candidate = stem + "_" + Integer2String(n) + extension;
        if (!FileSpecific(candidate).Exists())
            return candidate;
    }
    return {};
}

void ConvertObsValToStr(const OBS* value, const TAVO_Variable& variable, std::string& text) {
    const int width = variable.GetType() > 0 ? std::max(1, variable.GetFormatEx().width) : 0;
    ConvertObsValToStr(value, width, text);
}
