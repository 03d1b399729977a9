#include "qeinteg/platform/host/process/TempDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"
#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

struct TempState {
    std::mutex mutex;
    std::string root;  // empty until a test sets it: then $TMPDIR or /tmp
};

TempState& State() {
    static auto* state = new TempState();
    return *state;
}

std::string DefaultRoot() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp != nullptr && *tmp != '\0') ? std::string(tmp) : std::string("/tmp");
}

std::string TempDirU8() {
    std::string root;
    {
        TempState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        root = state.root.empty() ? DefaultRoot() : state.root;
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root + "/tavo_" + std::to_string(getpid()) + "/";
}

std::string ToU8(const std::string& generic) {
    ExtNameStr name;
    name.SetGeneric(generic);
    return name.GetU8();
}

std::string ToGeneric(const std::string& utf8) {
    ExtNameStr name;
    name.SetU8(utf8);
    return name.GetGeneric();
}

std::string RandomSuffix() {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(getpid()) ^
                                     (counter++ * 2654435761u));
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < 8; ++i)
        suffix.push_back(kChars[random() % (sizeof kChars - 1)]);
    return suffix;
}

std::string SafePrefix(std::string prefix) {
    TAVOMBStringReplaceChar_A(prefix, '\\', '_');
    for (char& c : prefix) {
        if (c == '/')
            c = '_';
    }
    return prefix;
}

bool Exists(const std::string& utf8) {
    struct stat info;
    return lstat(utf8.c_str(), &info) == 0;
}

const bool kRegistered = qehost::testing::RegisterResetHook([](const std::string& tempRoot) {
    TempState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.root = tempRoot;
});

}  // namespace

std::string GetTavoTempPath() {
    const std::string dir = TempDirU8();
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return ToGeneric(dir);
}

std::string FormTempName(const std::string& prefix) {
    const std::string dir = GetTavoTempPath();
    const std::string safe = SafePrefix(prefix);
    for (;;) {
        std::string candidate = dir + safe + RandomSuffix();
        if (!Exists(ToU8(candidate)))
            return candidate;
    }
}

std::string CreateTempFolder(const std::string& name) {
    const std::string dir = GetTavoTempPath();
    const std::string safe = SafePrefix(name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = dir + safe + "_" + RandomSuffix();
        if (mkdir(ToU8(candidate).c_str(), 0777) == 0)
            return candidate;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool RemoveFolderFromTempDir(const std::string& path) {
    std::string expanded;
    if (!ExpandFileSpecification(path, expanded))
        return false;
    const std::string tempDir = TempDirU8();
    const std::string target = ToU8(expanded);
    // Only strictly below the temporary directory.
    if (target.size() <= tempDir.size() || target.compare(0, tempDir.size(), tempDir) != 0) {
        return false;
    }
    std::error_code error;
    std::filesystem::remove_all(target, error);
    return !error && !Exists(target);
}

bool ExpandFileSpecification(const std::string& path, std::string& out) {
    out.clear();
    if (path.empty() || path.size() >= PATH_MAX)
        return false;
    std::string text = path;
    TAVOMBStringReplaceChar_A(text, '\\', '/');
    if (text[0] != '/') {
        std::vector<char> buffer(PATH_MAX + 1);
        if (getcwd(buffer.data(), buffer.size()) == nullptr)
            return false;
        text = ToGeneric(buffer.data()) + "/" + text;
    }
    const bool trailing = text.back() == '/';
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    if (result.empty() || trailing)
        result += "/";
    if (result.size() >= PATH_MAX)
        return false;
    out = std::move(result);
    return true;
}

bool ValidateFileSpecification(const std::string& path) {
    std::string expanded;
    if (!ExpandFileSpecification(path, expanded))
        return false;
    struct stat info;
    return stat(ToU8(expanded).c_str(), &info) == 0;
}

bool ValidateFileSpecificationEx(const std::string& path, bool& exists, bool& valid, bool& readOnly,
                                 bool& inUse, bool& locked) {
    exists = valid = readOnly = inUse = locked = false;
    std::string expanded;
    if (!ExpandFileSpecification(path, expanded))
        return false;
    valid = true;
    const std::string target = ToU8(expanded);
    struct stat info;
    if (stat(target.c_str(), &info) != 0)
        return true;
    exists = true;
    readOnly = access(target.c_str(), W_OK) != 0;
    if (S_ISREG(info.st_mode)) {
        const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            struct flock probe {};
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
            if (fcntl(fd, F_GETLK, &probe) == 0)
                locked = probe.l_type != F_UNLCK;
            close(fd);
        }
    }
    return true;
}

bool ValidateDirSpecification(const std::string& path, std::string& expanded, bool& exists,
                              bool& readOnly) {
    exists = readOnly = false;
    if (!ExpandFileSpecification(path, expanded))
        return false;
    const std::string target = ToU8(expanded);
    struct stat info;
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        exists = true;
        readOnly = access(target.c_str(), W_OK | X_OK) != 0;
    }
    return true;
}
