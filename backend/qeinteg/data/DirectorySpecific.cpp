#include "qeinteg/data/DirectorySpecific.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "qeinteg/data/OsPath.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/process/TempDirectory.h"

using qeinteg::detail::FromOsPath;
using qeinteg::detail::ToOsPath;

struct DirectorySpecific::State {
    std::string path;
    bool exists = false;
    bool readOnly = false;
    DIR* search = nullptr;
    std::string pattern;
    std::string current;
    bool currentIsDir = false;
    int found = 0;

    void Close() {
        if (search != nullptr)
            closedir(search);
        search = nullptr;
    }
};

DirectorySpecific::DirectorySpecific(const std::string& path) : state_(std::make_unique<State>()) {
    std::string trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\'))
        trimmed.pop_back();
    if (trimmed.empty() && !path.empty() && (path[0] == '/' || path[0] == '\\'))
        trimmed.assign(1, '/');
    std::string expanded;
    if (ValidateDirSpecification(trimmed, expanded, state_->exists, state_->readOnly)) {
        state_->path = FormalizeFilePath(expanded, true);
    }
}

DirectorySpecific::~DirectorySpecific() {
    state_->Close();
}

DirectorySpecific::DirectorySpecific(const DirectorySpecific& other)
    : state_(std::make_unique<State>(*other.state_)) {
    state_->search = nullptr;
}

DirectorySpecific& DirectorySpecific::operator=(const DirectorySpecific& other) {
    if (this != &other) {
        state_->Close();
        *state_ = *other.state_;
        state_->search = nullptr;
    }
    return *this;
}

std::string DirectorySpecific::ExpandPath() const {
    return state_->path;
}
bool DirectorySpecific::Exists() const {
    return state_->exists;
}
bool DirectorySpecific::ReadOnly() const {
    return state_->readOnly;
}

bool DirectorySpecific::BrowseFile() {
    return BrowseFile("*");
}

bool DirectorySpecific::BrowseFile(const std::string& pattern) {
    State& s = *state_;
    s.Close();
    s.found = 0;
    s.currentIsDir = false;
    s.current.clear();
    if (s.path.empty())
        return false;
    s.search = opendir(ToOsPath(s.path).c_str());
    if (s.search == nullptr)
        return false;
    s.pattern = pattern;
    return Advance();
}

bool DirectorySpecific::Next() {
    if (state_->search == nullptr)
        return false;
    return Advance();
}

bool DirectorySpecific::Advance() {
    State& s = *state_;
    const std::string osDir = ToOsPath(s.path);
    while (dirent* entry = readdir(s.search)) {
        const std::string osName = entry->d_name;
        if (osName == "." || osName == "..")
            continue;
        std::string name = FromOsPath(osName);
        if (fnmatch(s.pattern.c_str(), name.c_str(), 0) != 0)
            continue;
        struct stat info;
        s.current = std::move(name);
        s.currentIsDir = stat((osDir + osName).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        ++s.found;
        return true;
    }
    s.Close();
    return false;
}

void DirectorySpecific::GetFileSpec(std::string& name, bool& isDirectory) const {
    name = state_->current;
    isDirectory = state_->currentIsDir;
}

int DirectorySpecific::Count() const {
    return state_->found;
}

std::string DirectorySpecific::FormUniqueFileName(const std::string& name) const {
    return ::FormUniqueFileName(state_->path + name);
}
