// Move-only owners for JNI references and thread attachment, so that no code path (the error paths
// nobody tests included) forgets a release.
//
// A LocalRef or LocalFrame belongs to the thread whose JNIEnv made it and must die there. A
// GlobalRef keeps the JavaVM, not a JNIEnv, so it may be released on any thread: one that is not
// attached is attached for the release and detached again.
#pragma once

#include <jni.h>

#include <utility>

#include "qeinteg/qeinteg_export.h"

namespace qeinteg::jni {

// Owns one local reference; deletes it when it goes out of scope.
template <typename T = jobject>
class LocalRef {
  public:
    LocalRef() = default;
    LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~LocalRef() { reset(); }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef(LocalRef&& other) noexcept : env_(other.env_), ref_(other.release()) {}
    LocalRef& operator=(LocalRef&& other) noexcept {
        if (this != &other) {
            reset();
            env_ = other.env_;
            ref_ = other.release();
        }
        return *this;
    }

    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }
    // Gives up ownership without deleting.
    T release() { return std::exchange(ref_, nullptr); }
    void reset(T ref = nullptr) {
        if (ref_ != nullptr && env_ != nullptr)
            env_->DeleteLocalRef(ref_);
        ref_ = ref;
    }

  private:
    JNIEnv* env_ = nullptr;
    T ref_ = nullptr;
};

// Owns one global reference.
class QEINTEG_EXPORT GlobalRef {
  public:
    GlobalRef() = default;
    // Makes a new global reference to `object` (which stays owned by the caller). Null stays null.
    GlobalRef(JNIEnv* env, jobject object);
    ~GlobalRef();
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;
    GlobalRef(GlobalRef&& other) noexcept;
    GlobalRef& operator=(GlobalRef&& other) noexcept;

    jobject get() const { return ref_; }
    // The reference as the type the caller knows it to be (jclass, jstring, ...).
    template <typename T>
    T as() const {
        return static_cast<T>(ref_);
    }
    explicit operator bool() const { return ref_ != nullptr; }
    // Deletes the reference now, on whatever thread calls.
    void reset();
    // Gives up ownership without deleting; the caller must DeleteGlobalRef the result.
    jobject release() { return std::exchange(ref_, nullptr); }

  private:
    JavaVM* vm_ = nullptr;
    jobject ref_ = nullptr;
};

// PushLocalFrame/PopLocalFrame around a block: every local reference made inside dies with it.
class QEINTEG_EXPORT LocalFrame {
  public:
    LocalFrame(JNIEnv* env, jint capacity);
    ~LocalFrame();
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;

    bool ok() const { return pushed_; }
    // Pops the frame now, keeping `result` alive as a local reference in the outer frame.
    jobject popKeeping(jobject result);

  private:
    JNIEnv* env_;
    bool pushed_;
};

// Gives the calling thread a JNIEnv for the life of this object. A thread that was already attached
// stays attached afterwards; a thread attached here is detached again in the destructor.
class QEINTEG_EXPORT ScopedThreadAttach {
  public:
    ScopedThreadAttach();
    ~ScopedThreadAttach();
    ScopedThreadAttach(const ScopedThreadAttach&) = delete;
    ScopedThreadAttach& operator=(const ScopedThreadAttach&) = delete;

    JNIEnv* env() const { return env_; }
    bool attachedHere() const { return attachedHere_; }

  private:
    JNIEnv* env_ = nullptr;
    bool attachedHere_ = false;
};

// The launcher's attach sequence: attach to a started VM, wait for a starting one, or start it.
// Returns the calling thread's environment, or null when no VM could be had.
QEINTEG_EXPORT JNIEnv* AttachCurrentThread();

}  // namespace qeinteg::jni
