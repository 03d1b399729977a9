// Base of every Java-object wrapper: creates, holds and releases the Java object it wraps.
//
// A wrapper takes the environment of the process's JNIObjectManager when it is made and must be
// used on that thread. The object a wrapper holds for itself (holdObject) is a global reference
// that dies with the wrapper; local references it tracks die with it too; global references made
// with track = true die at the manager's next cleanJRef().
#pragma once

#include <jni.h>

#include <string>
#include <vector>

#include "qeinteg/java/JNIAccessor.h"
#include "qeinteg/java/jni/Refs.h"
#include "qeinteg/qeinteg_export.h"

class JNIObjectManager;

namespace qeinteg::jni {
struct Classes;
}

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
    // Wraps obj.
    void init(jobject obj, bool global);

    // Number of local references this wrapper will delete.
    size_t localRefCount() const { return localRefs_.size(); }

    // The object a wrapper holds; null for a null wrapper pointer.
    static jobject ObjectOf(const JNIQelAccessor* wrapper) {
        return wrapper == nullptr ? nullptr : wrapper->getObject();
    }
    // A new wrapper of `object` (a W made from the jobject) registered with the object manager,
    // which deletes it at the next cleanJRef(); it holds no object when `object` is null.
    template <typename W>
    static W* Registered(jobject object) {
        auto* wrapper = new W(object);
        RegisterForCleanUp(wrapper);
        return wrapper;
    }
    static void RegisterForCleanUp(JNIQelAccessor* wrapper);

  protected:
    // Tracks a local reference so that it dies with this wrapper.
    void trackLocalRef(jobject ref);
    // Common tail of the newObject forms: takes over `local` (null after a failed creation).
    jobject finishNewObject(jobject local, bool global, bool track);
    // Makes `object` the wrapped object, held by a global reference of this wrapper that is
    // released when the wrapper dies. Null leaves the wrapper without object.
    void holdObject(jobject object);
    // The Java class bindings; null, with the reason kept as the last failure, when the classes
    // could not be resolved at start.
    const qeinteg::jni::Classes* bindings();

  private:
    std::vector<qeinteg::jni::LocalRef<jobject>> localRefs_;
    qeinteg::jni::GlobalRef held_;
};
