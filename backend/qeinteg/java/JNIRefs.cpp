#include "qeinteg/java/JNIRefs.h"

#include "qeinteg/platform/jvm/TavoJVM.h"

namespace qeinteg::jni {

GlobalRef::GlobalRef(JNIEnv* env, jobject object)
    : env_(env), ref_(object != nullptr ? env->NewGlobalRef(object) : nullptr) {}

GlobalRef::~GlobalRef() {
    reset();
}

GlobalRef::GlobalRef(GlobalRef&& other) noexcept
    : env_(other.env_), ref_(std::exchange(other.ref_, nullptr)) {}

GlobalRef& GlobalRef::operator=(GlobalRef&& other) noexcept {
    if (this != &other) {
        reset();
        env_ = other.env_;
        ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
}

void GlobalRef::reset() {
    if (ref_ != nullptr && env_ != nullptr)
        env_->DeleteGlobalRef(ref_);
    ref_ = nullptr;
}

LocalFrame::LocalFrame(JNIEnv* env, jint capacity)
    : env_(env), pushed_(env != nullptr && env->PushLocalFrame(capacity) == JNI_OK) {
    if (!pushed_ && env_ != nullptr)
        env_->ExceptionClear();
}

LocalFrame::~LocalFrame() {
    if (pushed_)
        env_->PopLocalFrame(nullptr);
}

jobject LocalFrame::popKeeping(jobject result) {
    if (!pushed_)
        return result;
    pushed_ = false;
    return env_->PopLocalFrame(result);
}

JNIEnv* AttachCurrentThread() {
    TavoJVM& launcher = TavoJVM::GetInstance();
    JNIEnv* env = nullptr;
    if (launcher.IsStarted()) {
        launcher.AttachCurrentThread(&env);
    } else if (launcher.WaitForStartedJVM()) {
        launcher.AttachCurrentThread(&env);
    } else {
        launcher.StartJVMAndAttachThread(&env);
    }
    return env;
}

ScopedThreadAttach::ScopedThreadAttach() {
    env_ = TavoJVM::GetInstance().GetEnvIfAttached();
    if (env_ != nullptr)
        return;
    env_ = AttachCurrentThread();
    attachedHere_ = env_ != nullptr;
}

ScopedThreadAttach::~ScopedThreadAttach() {
    if (attachedHere_)
        TavoJVM::GetInstance().DetachCurrentThread();
}

}  // namespace qeinteg::jni
