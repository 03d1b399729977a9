#include "qeinteg/runner/QERunImpl.h"

#include <cstdint>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/Refs.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/platform/host/process/HostProcess.h"

namespace {

// Live runners in the process. Runners are made and destroyed on the procedure thread only.
int64_t g_runnerCount = 0;
std::once_flag g_metadataLayerInitialized;

CFAppHost* AppHost() {
    CFAppHost::update();
    CFAppHost* pAppHost = CFAppHost::getInstance();
    QE_ASSERT(pAppHost != 0);
    return pAppHost;
}

}  // namespace

QERunImpl::QERunImpl(QEProgressListener* progressListener, bool withProcedure)
    : listener(progressListener), hasProcedure(withProcedure) {
    if (g_runnerCount++ == 0) {
        std::call_once(g_metadataLayerInitialized,
                       [] { CFEntry::initialize(AppHost()->createCFHostingCalbck()); });
        JNIObjectManager::newManager();
    }
    JNIObjectManager::getManager()->reAttachJVM();
    refreshLocale();
}

QERunImpl::~QERunImpl() {
    try {
        cleanExecution();
    } catch (const EmbeddedQE::Exception&) {
        // Nothing to report to from a destructor; the executor is freed regardless.
    }
    JNIObjectManager::getManager()->cleanJRef();
    if (--g_runnerCount == 0)
        JNIObjectManager::releaseManager();
}

JNIEnv* QERunImpl::env() {
    return JNIObjectManager::getManager()->getEnv();
}

void QERunImpl::refreshLocale() {
    locale = AppHost()->getLocale();
}

EmbeddedQE::QEExecutor* QERunImpl::requireExecutor() {
    QE_ASSERT(_qeExecutor != 0);
    return _qeExecutor.get();
}

void QERunImpl::replaceExecutor(std::unique_ptr<EmbeddedQE::QEExecutor> executor) {
    std::lock_guard<std::mutex> lock(executorMutex_);
    _qeExecutor = std::move(executor);
}

void QERunImpl::cleanExecution() {
    std::unique_ptr<EmbeddedQE::QEExecutor> executor;
    {
        // Detach it first so that a concurrent cancel finds no job instead of a freed one.
        std::lock_guard<std::mutex> lock(executorMutex_);
        executor = std::move(_qeExecutor);
    }
    if (executor != nullptr)
        executor->release(env());  // freed even when release throws
}

void QERunImpl::cancel() {
    {
        std::lock_guard<std::mutex> lock(executorMutex_);
        if (_qeExecutor != nullptr) {
            // The host's interrupt thread attaches only for this call; the procedure thread (or any
            // thread already attached) stays attached.
            qeinteg::jni::ScopedThreadAttach attach;
            if (attach.env() != nullptr)
                _qeExecutor->cancel(attach.env());
        }
    }
    if (hasProcedure)
        SetInterruptFlag(-1);
    stopped = true;
}
