#include "qeinteg/data/QESimpleFile.h"

#include <cstdio>

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

namespace {

const ExtNameStr& AnalyticRoot() {
    static const ExtNameStr* root = [] {
        auto* name = new ExtNameStr();
        name->SetGeneric(JoinFilePath(GetTavoTempPath(), "analytic-root/").c_str());
        return name;
    }();
    return *root;
}

const ExtNameStr& AnalyticDefaultDir() {
    static const ExtNameStr* dir = [] {
        auto* name = new ExtNameStr();
        name->SetGeneric(JoinFilePath(AnalyticRoot().GetGeneric(), "keld/public/").c_str());
        return name;
    }();
    return *dir;
}

}  // namespace

struct QESimpleFile::State {
    std::string fileName;
    ExtNameStr path;
    bool removeOnDestruction = false;
};

QESimpleFile::QESimpleFile(const std::string& name, bool inAnalyticDir, bool removeOnDestruction)
    : _state(std::make_unique<State>()) {
    const std::string directory = inAnalyticDir ? GetAnalyticDefaultDir() : GetTavoTempPath();
    const std::string path = FormUniqueFileName(JoinFilePath(directory, name));
    std::string ignored;
    _state->fileName = SeparateFileName(path, ignored);
    _state->path.SetGeneric(path);
    _state->removeOnDestruction = removeOnDestruction;
    // The temporary directory is shared with others: take the name at once. Files in the
    // analytic directory are the engine's to make.
    if (!inAnalyticDir) {
        if (FILE* file = _state->path.fopen("w"))
            std::fclose(file);
    }
}

QESimpleFile::~QESimpleFile() {
    if (_state->removeOnDestruction) {
        _state->path.remove();
        RemoveDir(_state->path.GetGeneric());
    }
}

std::string QESimpleFile::GetFileName() const {
    return _state->fileName;
}

std::string QESimpleFile::GetAbsolutePath() const {
    return _state->path.GetGeneric();
}

std::string QESimpleFile::GetGenericPath() const {
    return _state->path.GetU8();
}

std::string QESimpleFile::GetAnalyticRoot() {
    return AnalyticRoot().GetGeneric();
}

std::string QESimpleFile::GetAnalyticRootUTF() {
    return AnalyticRoot().GetU8();
}

std::string QESimpleFile::GetAnalyticDefaultDir() {
    return AnalyticDefaultDir().GetGeneric();
}

std::string QESimpleFile::GetAnalyticDefaultDirUTF() {
    return AnalyticDefaultDir().GetU8();
}
