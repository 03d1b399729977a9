#include "qeinteg/platform/engine/LocalExecutor.h"

#include <utility>

namespace qelocal {

LocalExecutor::LocalExecutor(std::string locale) : locale_(std::move(locale)) {}

void LocalExecutor::prepare(JNIEnv* /*env*/, const std::string& jobText) { jobText_ = jobText; }

void LocalExecutor::addInputContainer(JNIEnv* /*env*/, EmbeddedQE::Container* container) {
    inputContainers_.push_back(container);
}

void LocalExecutor::addOutputContainer(JNIEnv* /*env*/, EmbeddedQE::Container* container) {
    outputContainers_.push_back(container);
}

void LocalExecutor::addInputIterator(JNIEnv* /*env*/, EmbeddedQE::RowDataIterator* iterator,
                                     int /*flags*/) {
    inputIterators_.push_back(iterator);
}

void LocalExecutor::execute(JNIEnv* /*env*/, EmbeddedQE::ExecutionListener* listener) {
    listener->onInit("local-1");
    if (cancelled_.load()) {
        listener->onCancel();
        return;
    }
    listener->onSuccess();
}

EmbeddedQE::RowDataIterator* LocalExecutor::getOutputIterator(JNIEnv* /*env*/,
                                                              const std::string& /*name*/) {
    return nullptr;
}

void LocalExecutor::cancel(JNIEnv* /*env*/) { cancelled_.store(true); }

void LocalExecutor::release(JNIEnv* /*env*/) {
    inputContainers_.clear();
    outputContainers_.clear();
    inputIterators_.clear();
}

}  // namespace qelocal
