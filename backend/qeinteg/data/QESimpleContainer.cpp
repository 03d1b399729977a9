#include "qeinteg/data/QESimpleContainer.h"

#include <cstdio>

#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

namespace {

std::string ToUtf8(const std::string& generic) {
    ExtNameStr name;
    name.SetGeneric(generic);
    return name.GetU8();
}

void CreateEmptyFile(const std::string& generic) {
    ExtNameStr name;
    name.SetGeneric(generic);
    if (FILE* file = name.fopen("w"))
        std::fclose(file);
}

void DeleteFile(const std::string& generic) {
    ExtNameStr name;
    name.SetGeneric(generic);
    name.remove();
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
        _genericPath = FormTempName("qecontfile_");
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
