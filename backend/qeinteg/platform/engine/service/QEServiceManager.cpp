#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutionService.h"
#include "qeinteg/platform/engine/service/LocalMetaDataService.h"

namespace EmbeddedQE {

class QEServiceManager::Impl {
  public:
    qelocal::LocalExecutionService execution;
    qelocal::LocalMetaDataService metadata;
};

QEServiceManager::QEServiceManager(JNIEnv* env, const EQEAppSetting& settings) : impl_(nullptr) {
    qelocal::LocalEngine::instance().onManagerConstructing(env, settings);  // may throw
    impl_ = new Impl();
}

QEServiceManager::~QEServiceManager() {
    delete impl_;
    qelocal::LocalEngine::instance().onManagerDeleted();
}

QEExecutionService* QEServiceManager::getExecutionService() {
    return &impl_->execution;
}

QEMetaDataService* QEServiceManager::getMetaDataService() {
    return &impl_->metadata;
}

}  // namespace EmbeddedQE
