// Base of every Java-object wrapper: creates, holds and releases the Java object it wraps.
//
// A wrapper takes the environment of the process's JNIObjectManager when it is made and must be
// used and destroyed on that thread. Local references it tracks die with it; global references it
// makes with track = true die at the manager's next cleanJRef().
#pragma once

#include <jni.h>

#include <string>
#include <vector>

#include "qeinteg/platform/jvm/JNIAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIObjectManager;

class QEINTEG_EXPORT JNIQelAccessor : public JNIAccessor {
  public:
    JNIQelAccessor();
    ~JNIQelAccessor() override;
    JNIQelAccessor(const JNIQelAccessor&) = delete;
    JNIQelAccessor& operator=(const JNIQelAccessor&) = delete;

    jobject getObject() const { return JNIAccessor::getObject(); }
    JNIObjectManager* getJNIObjectManager();

    // The UTF-8 text of a Java string; empty for null. A pending Java exception is handled.
    std::string getString(jstring s);
    void getString(jstring s, std::string& out);

    // Makes obj the wrapped object: a new global reference when global (tracked by the manager when
    // track), else obj itself (deleted with this wrapper when track).
    void setObjectG(jobject obj, bool global, bool track);

    // New Java values (Integer, Long, Double, Boolean, String). When track, the local reference is
    // deleted with this wrapper; when global, the result is a global reference (tracked by the
    // manager when track). The value does not become the wrapped object. Null on failure.
    jobject newObject(int value, bool global, bool track);
    jobject newObject(long long value, bool global, bool track);
    jobject newObject(double value, bool global, bool track);
    jobject newObject(bool value, bool global, bool track);
    jobject newObject(const char* value, bool global, bool track);
    jobject newObject(const std::string& value, bool global, bool track);

    // Wraps a new instance of className made with its no-argument constructor.
    void init(const char* className, bool global);
    // Wraps obj, taking its class.
    void init(jobject obj, bool global);

    // Number of local references this wrapper will delete.
    size_t localRefCount() const { return localRefs_.size(); }

  protected:
    // Tracks a local reference so that it dies with this wrapper.
    void trackLocalRef(jobject ref);
    // Common tail of the newObject forms.
    jobject finishNewObject(jobject local, bool global, bool track);
    jobject newBoxed(const char* className, const char* signature, jvalue value, bool global,
                     bool track);

  private:
    std::vector<jobject> localRefs_;
};
