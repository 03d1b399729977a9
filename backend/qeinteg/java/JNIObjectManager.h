// The process's Java environment and the references a job leaves behind.
//
// One manager exists per process (`getManager()`); it holds the JNIEnv of the thread that last
// attached and two clean-up lists: global references to delete and wrapper objects to destroy at
// the next cleanJRef(). Used from the procedure thread only; nothing is locked.
//
// Making the first manager also resolves every Java class and member the library calls. When one
// is missing (a wrong or missing jar) the start fails there: the message naming the class or
// member is written to the trace log, and every wrapper made afterwards reports it as its last
// failure instead of doing anything.
#pragma once

#include <jni.h>

#include <cstddef>

#include "qeinteg/qeinteg_export.h"

class JNIQelAccessor;

class QEINTEG_EXPORT JNIObjectManager {
  public:
    // Releases an existing manager (with its clean-up), makes a new one and attaches the calling
    // thread to the JVM.
    static JNIObjectManager* newManager();
    // The process's manager, made with newManager() when there is none.
    static JNIObjectManager* getManager();
    // Destroys the manager (clean-up first); the next getManager() makes a new one.
    static void releaseManager();

    ~JNIObjectManager();
    JNIObjectManager(const JNIObjectManager&) = delete;
    JNIObjectManager& operator=(const JNIObjectManager&) = delete;

    JNIEnv* getEnv();
    // Attaches the calling thread again and takes its environment.
    void reAttachJVM();

    // A new global reference to obj; when track, it is deleted at the next cleanJRef().
    jobject createGlobalRef(jobject obj, bool track);
    // Takes ownership of a wrapper; it is destroyed at the next cleanJRef(). Null is ignored.
    void addtoCleanList(JNIQelAccessor* wrapper);
    // Deletes the tracked global references, then destroys the listed wrappers.
    void cleanJRef();

    // Sizes of the two clean-up lists.
    size_t trackedGlobalRefCount() const;
    size_t cleanListSize() const;

  private:
    JNIObjectManager();
    class Impl;
    Impl* impl_;
    static JNIObjectManager* _this;
};
