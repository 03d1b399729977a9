#include "qeinteg/java/jni/Refs.h"

#include <atomic>

#include "qeinteg/platform/jvm/TavoJVM.h"

namespace qeinteg::jni {

namespace {

// A process has at most one VM, so it is asked for once; making a reference then costs no extra
// call into the VM.
JavaVM* VmOf(JNIEnv* env) {
    static std::atomic<JavaVM*> cached{nullptr};
    JavaVM* vm = cached.load(std::memory_order_acquire);
    if (vm == nullptr && env != nullptr && env->GetJavaVM(&vm) == JNI_OK)
        cached.store(vm, std::memory_order_release);
    return vm;
}

}  // namespace

GlobalRef::GlobalRef(JNIEnv* env, jobject object)
    : vm_(VmOf(env)),
      ref_(object != nullptr && vm_ != nullptr ? env->NewGlobalRef(object) : nullptr) {}

GlobalRef::~GlobalRef() {
    reset();
}

GlobalRef::GlobalRef(GlobalRef&& other) noexcept
    : vm_(other.vm_), ref_(std::exchange(other.ref_, nullptr)) {}

GlobalRef& GlobalRef::operator=(GlobalRef&& other) noexcept {
    if (this != &other) {
        reset();
        vm_ = other.vm_;
        ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
}

void GlobalRef::reset() {
    jobject ref = std::exchange(ref_, nullptr);
    if (ref == nullptr || vm_ == nullptr)
        return;
    JNIEnv* env = nullptr;
    if (vm_->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) == JNI_OK) {
        env->DeleteGlobalRef(ref);
        return;
    }
    // A thread outside the VM: attach just for the release.
    if (vm_->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == JNI_OK) {
        env->DeleteGlobalRef(ref);
        vm_->DetachCurrentThread();
    }
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
