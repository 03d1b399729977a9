#include "qeinteg/java/JNIAccessor.h"

#include "qeinteg/java/jni/Failure.h"
#include "qeinteg/java/jni/Refs.h"

JNIAccessor::JNIAccessor() = default;
JNIAccessor::~JNIAccessor() = default;
JNIAccessor::JNIAccessor(const JNIAccessor&) = default;
JNIAccessor& JNIAccessor::operator=(const JNIAccessor&) = default;

bool JNIAccessor::handleException(bool /*report*/, jthrowable exception) {
    if (exception == nullptr || env_ == nullptr)
        return false;
    env_->ExceptionClear();
    qeinteg::jni::LocalRef<jthrowable> owned(env_, exception);
    qeinteg::jni::Fail(*this, qeinteg::jni::DescribeThrowable(env_, exception, {}));
    return true;
}

bool JNIAccessor::checkException(bool report) {
    if (env_ == nullptr || !env_->ExceptionCheck())
        return false;
    return handleException(report, env_->ExceptionOccurred());
}

const std::string& JNIAccessor::getLastFailure() const {
    static const std::string kNone;
    return last_ != nullptr ? last_->message : kNone;
}

void JNIAccessor::clearLastFailure() {
    last_.reset();
}

void JNIAccessor::keepFailure(qeinteg::jni::Failure&& failure) {
    last_ = std::make_shared<const qeinteg::jni::Failure>(std::move(failure));
}
