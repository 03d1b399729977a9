#include "qeinteg/data/FileSpecific.h"

#include <sys/stat.h>

#include "qeinteg/data/OsPath.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/process/TempDirectory.h"

struct FileSpecific::State {
    std::string expandedPath;
    bool valid = false;
    bool exists = false;
    bool readOnly = false;
    bool inUse = false;
    bool locked = false;
    bool isDir = false;
};

FileSpecific::FileSpecific(const std::string& path) : state_(std::make_unique<State>()) {
    State& s = *state_;
    std::string expanded;
    if (!ExpandFileSpecification(path, expanded))
        return;
    s.expandedPath = expanded;
    s.valid = true;
    struct stat info;
    s.isDir =
        stat(qeinteg::detail::ToOsPath(expanded).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (s.isDir) {
        std::string ignored;
        ValidateDirSpecification(expanded, ignored, s.exists, s.readOnly);
    } else {
        ValidateFileSpecificationEx(expanded, s.exists, s.valid, s.readOnly, s.inUse, s.locked);
    }
}

FileSpecific::~FileSpecific() = default;

FileSpecific::FileSpecific(const FileSpecific& other)
    : state_(std::make_unique<State>(*other.state_)) {}

FileSpecific& FileSpecific::operator=(const FileSpecific& other) {
    if (this != &other)
        *state_ = *other.state_;
    return *this;
}

std::string FileSpecific::ExpandPath() const {
    return state_->expandedPath;
}

std::string FileSpecific::Path() const {
    std::string directory;
    SeparateFileName(state_->expandedPath, directory);
    return directory;
}

std::string FileSpecific::Name() const {
    std::string directory;
    return SeparateFileName(state_->expandedPath, directory);
}

bool FileSpecific::IsValid() const {
    return state_->valid;
}
bool FileSpecific::Exists() const {
    return state_->exists;
}
bool FileSpecific::ReadOnly() const {
    return state_->readOnly;
}
bool FileSpecific::IsInUse() const {
    return state_->inUse;
}
bool FileSpecific::IsLocked() const {
    return state_->locked;
}
bool FileSpecific::IsDir() const {
    return state_->isDir;
}
