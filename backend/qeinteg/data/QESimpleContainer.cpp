#include "qeinteg/data/QESimpleContainer.h"

#include <unistd.h>
#include <cstdio>
#include <filesystem>

namespace {

// Host file services used by the container.
std::string MakeTempName(const std::string& prefix) {
    const std::string base = std::filesystem::temp_directory_path().string() + "/" + prefix +
                             std::to_string(::getpid()) + "_";
    for (int i = 0;; ++i) {
        const std::string candidate = base + std::to_string(i);
        if (!std::filesystem::exists(candidate))
            return candidate;
    }
}
std::string ToUtf8(const std::string& generic) {
    return generic;
}
void CreateEmptyFile(const std::string& generic) {
    if (FILE* file = std::fopen(generic.c_str(), "w"))
        std::fclose(file);
}
void DeleteFile(const std::string& generic) {
    std::remove(generic.c_str());
}

}  // namespace

// The temporary file's owner: deletes it when the last container naming it goes.
class QESimpleContainer::TempFile {
  public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (keep_ == false)
            DeleteFile(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void Keep() { keep_ = true; }
    bool Kept() const { return keep_; }

  private:
    std::string path_;
    bool keep_ = false;
};

QESimpleContainer::QESimpleContainer(const std::string& name, std::string path)
    : _name(name), _genericPath(std::move(path)) {
    if (_genericPath.empty()) {
        _genericPath = MakeTempName("qecontfile_");
        CreateEmptyFile(_genericPath);
        _tempFile = std::make_shared<TempFile>(_genericPath);
    }
    _absolutePath = ToUtf8(_genericPath);
}

QESimpleContainer::~QESimpleContainer() = default;
QESimpleContainer::QESimpleContainer(const QESimpleContainer& other) = default;
QESimpleContainer& QESimpleContainer::operator=(const QESimpleContainer& other) = default;

std::string QESimpleContainer::getName() {
    return _name;
}
std::string QESimpleContainer::getAbsolutePath() {
    return _absolutePath;
}
std::string QESimpleContainer::getGenericPath() const {
    return _genericPath;
}
bool QESimpleContainer::isTempFile() const {
    return _tempFile != nullptr && !_tempFile->Kept();
}

void QESimpleContainer::preserveTempFile() {
    if (_tempFile != nullptr)
        _tempFile->Keep();
}
