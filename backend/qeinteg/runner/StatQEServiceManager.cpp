#include "qeinteg/runner/StatQEServiceManager.h"

#include <algorithm>
#include <string>

#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/host/process/AppSettings.h"

namespace {

// The engine gets at most this many computation threads, whatever the host allows.
constexpr int kMaxEngineThreads = 4;
// The engine's I/O cache: 4 MiB.
constexpr int kEngineCacheSize = 0x400000;

}  // namespace

EmbeddedQE::QEServiceManager* StatQEServiceManager::_service = nullptr;
const char* const StatQEServiceManager::_aeVersion = "3.1.1.0";

EmbeddedQE::QEServiceManager* StatQEServiceManager::get(bool verbose) {
    if (_service != nullptr)
        return _service;

    CFAppHost::update();
    CFAppHost* pAppHost = CFAppHost::getInstance();
    QE_ASSERT(pAppHost != 0);

    const std::string installDir =
        transcodeToUTF8(PathFactory::getPathInstance()->GetInstallDirectory().c_str(), nullptr);
    const std::string tempDir = FormalizeFilePath(pAppHost->getTempFolder(), true);
    const std::string componentsPath =
        JoinFilePath(installDir, std::string("qe-") + _aeVersion + "/af/components");
    const std::string locale = pAppHost->getLocale();
    const std::string threads =
        Integer2String(std::min(pAppHost->getMaxCompThreads(), kMaxEngineThreads));
    const std::string cacheSize = Integer2String(kEngineCacheSize);

    EmbeddedQE::EQEAppSetting settings(QESimpleFile::GetAnalyticRootUTF(), componentsPath, locale);
    settings.addProperty("ae.temp.path", tempDir + "ae");
    settings.addProperty("af.temp.path", tempDir + "af");
    settings.addProperty("mmr.threads", threads);
    settings.addProperty("af.io.cache.size", cacheSize);

    if (verbose) {
        WriteLog("QE Analytic Root: " + QESimpleFile::GetAnalyticRoot());
        WriteLog("qe.af.components: " + componentsPath);
        WriteLog("locale: " + locale);
        WriteLog("ae.temp.path: " + tempDir + "ae");
        WriteLog("af.temp.path: " + tempDir + "af");
        WriteLog("mmr.threads: " + threads);
        WriteLog("af.io.cache.size: " + cacheSize);
    }

    _service = new EmbeddedQE::QEServiceManager(JNIObjectManager::getManager()->getEnv(), settings);
    return _service;
}

void StatQEServiceManager::shutdown() {
    delete _service;
    _service = nullptr;
}
