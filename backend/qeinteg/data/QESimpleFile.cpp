#include "qeinteg/data/QESimpleFile.h"

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/ExtNameStr.h"
#include "qeinteg/platform/host/TempDirectory.h"

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
