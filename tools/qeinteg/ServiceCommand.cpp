#include "ServiceCommand.h"

#include <cstdio>
#include <exception>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/runner/StatQEServiceManager.h"

int RunServiceCommand(int /*argc*/, char** /*argv*/) {
    if (JNIObjectManager::getManager()->getEnv() == nullptr) {
        std::fprintf(stderr, "qeinteg: could not start the Java VM\n");
        return 1;
    }
    try {
        StatQEServiceManager::get(true);
    } catch (const EmbeddedQE::Exception& e) {
        std::fprintf(stderr, "qeinteg: the engine did not start: %s\n", e.getMessage().c_str());
        return 1;
    }
    const auto records = qelocal::LocalEngine::instance().serviceRecords();
    if (records.empty())
        return 1;
    const qelocal::ServiceRecord& settings = records.back();
    std::printf("Engine service started with:\n");
    std::printf("  %-18s %s\n", "analytic root", settings.analyticRoot.c_str());
    std::printf("  %-18s %s\n", "components", settings.componentsPath.c_str());
    std::printf("  %-18s %s\n", "locale", settings.locale.c_str());
    for (const auto& [key, value] : settings.properties) {
        std::printf("  %-18s %s\n", key.c_str(), value.c_str());
    }
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    return 0;
}
