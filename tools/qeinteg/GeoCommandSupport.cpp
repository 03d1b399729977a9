#include "GeoCommandSupport.h"

#include <cstdio>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/runner/StatQEServiceManager.h"

GeoCommandSession::GeoCommandSession()
    : started_(JNIObjectManager::getManager()->getEnv() != nullptr) {
    if (!started_)
        std::fprintf(stderr, "qeinteg: could not start the Java VM\n");
}

GeoCommandSession::~GeoCommandSession() {
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
}

std::string EngineReason(const std::string& operation, const std::string& fallback) {
    const auto records = qelocal::LocalEngine::instance().calls("metadataMessage");
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->args.size() == 2 && it->args[0] == operation)
            return it->args[1];
    }
    return fallback;
}
