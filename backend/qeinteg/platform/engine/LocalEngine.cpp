#include "qeinteg/platform/engine/LocalEngine.h"

namespace qelocal {

LocalEngine& LocalEngine::instance() {
    static LocalEngine* engine = new LocalEngine();  // never destroyed: managers may outlive main
    return *engine;
}

void LocalEngine::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    created_ = 0;
    deleted_ = 0;
    records_.clear();
    nextFailure_.reset();
}

void LocalEngine::failNextManagerConstruction(ScriptedFailure failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextFailure_ = std::move(failure);
}

int LocalEngine::managersCreated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

int LocalEngine::managersDeleted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deleted_;
}

std::vector<ServiceRecord> LocalEngine::serviceRecords() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void LocalEngine::onManagerConstructing(JNIEnv* env, const EmbeddedQE::EQEAppSetting& settings) {
    std::optional<ScriptedFailure> failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure.swap(nextFailure_);
        if (!failure) {
            ++created_;
            records_.push_back(ServiceRecord{env, settings.getAnalyticRoot(),
                                             settings.getComponentsPath(), settings.getLocale(),
                                             settings.getProperties()});
        }
    }
    if (failure) {
        if (failure->javaException) throw EmbeddedQE::JavaException(failure->message, failure->trace);
        throw EmbeddedQE::Exception(failure->message);
    }
}

void LocalEngine::onManagerDeleted() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++deleted_;
}

}  // namespace qelocal
