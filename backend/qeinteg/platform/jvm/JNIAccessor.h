// The host's access class for one Java object: the thread's environment, the object's class, one
// method id and the object itself, plus Java exception reporting.
//
// Classes are looked up once per process and kept as global references, so an accessor never pays
// FindClass twice for the same class and works on threads whose class loader differs. The object
// reference is not owned: whoever created it releases it.
#pragma once

#include <jni.h>

#include <string>

class JNIAccessor {
  public:
    JNIAccessor() = default;
    virtual ~JNIAccessor() = default;
    JNIAccessor(const JNIAccessor&) = default;
    JNIAccessor& operator=(const JNIAccessor&) = default;

    void setEnv(JNIEnv* env) { env_ = env; }
    JNIEnv* getEnv() const { return env_; }

    // Looks the class up (cached process-wide); false with the failure recorded when it is missing.
    bool setClass(const char* className);
    // Takes the class of `object` (cached process-wide by class name).
    bool setClassOf(jobject object);
    jclass getClass() const { return class_; }

    // Looks up an instance method of the current class; false when there is none.
    bool setMethod(const char* name, const char* signature);
    jmethodID getMethod() const { return method_; }

    void setObject(jobject object) { object_ = object; }
    jobject getObject() const { return object_; }

    // When `exception` is not null: clears the pending exception, keeps its message as the last
    // failure text, writes it to standard error when `report` is true, releases the local reference
    // and returns true. Returns false for a null exception.
    bool handleException(bool report, jthrowable exception);
    // handleException(report, the pending exception, if any).
    bool checkException(bool report = false);

    // The message of the last Java exception handled by this accessor; empty when none.
    const std::string& getLastFailure() const { return lastFailure_; }
    void clearLastFailure() { lastFailure_.clear(); }

    // A process-wide global reference to the named class, or null (exception cleared) when missing.
    static jclass FindClassCached(JNIEnv* env, const char* className);

  private:
    JNIEnv* env_ = nullptr;
    jclass class_ = nullptr;
    jmethodID method_ = nullptr;
    jobject object_ = nullptr;
    std::string lastFailure_;
};
