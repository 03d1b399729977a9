// The state every Java-object wrapper shares: the thread's environment, the wrapped object and the
// last failure met by one of its Java calls.
//
// A failure (a Java exception or a call that could not be made) is cleared at once, written to the
// trace log and kept here as the last failure; the operation that met it returns false, 0, null or
// an empty text. Nothing is printed to the standard streams. The object reference is not owned
// here: the wrapper that holds it decides its lifetime.
#pragma once

#include <jni.h>

#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

namespace qeinteg::jni {
struct Failure;
}

class QEINTEG_EXPORT JNIAccessor {
  public:
    JNIAccessor();
    virtual ~JNIAccessor();
    JNIAccessor(const JNIAccessor&);
    JNIAccessor& operator=(const JNIAccessor&);

    void setEnv(JNIEnv* env) { env_ = env; }
    JNIEnv* getEnv() const { return env_; }

    void setObject(jobject object) { object_ = object; }
    jobject getObject() const { return object_; }

    // When `exception` is not null: clears the pending exception, keeps its record as the last
    // failure, releases the local reference and returns true. `report` is accepted for callers that
    // pass it; the record goes to the trace log either way and nothing is printed. Returns false
    // for a null exception.
    bool handleException(bool report, jthrowable exception);
    // handleException(report, the pending exception, if any).
    bool checkException(bool report = false);

    // The message of the last failure; empty when none.
    const std::string& getLastFailure() const;
    void clearLastFailure();
    // The whole record of the last failure (Java class, member, exception, message, trace); null
    // when none.
    const qeinteg::jni::Failure* getLastFailureRecord() const { return last_.get(); }
    // Keeps `failure` as the last failure. The binding layer hands each failed call's record here.
    void keepFailure(qeinteg::jni::Failure&& failure);

  private:
    JNIEnv* env_ = nullptr;
    jobject object_ = nullptr;
    std::shared_ptr<const qeinteg::jni::Failure> last_;
};
