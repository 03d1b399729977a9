// Base of the JSON value wrappers: kind tests on nodes, JSON text, and the node handles a wrapper
// hands out.
//
// A node is a Java JSON value (JSONObject, JSONArray, String, Integer, Long, Double, Boolean) seen
// through a jobject handle; a null handle is an absent value or JSON null. Every handle a wrapper
// returns (from get, getByPath, the array get) is a global reference that the wrapper owns: it
// stays valid until that wrapper is destroyed or releaseNodes() is called, and callers never free
// it. Holding global rather than local references is what lets a walk over a million elements run
// without growing the thread's local reference table.
//
// No operation throws: a Java exception is cleared and kept as getLastFailure(), and the operation
// returns null, 0, false or an empty string.
#pragma once

#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

struct JNIJSONClasses;

class QEINTEG_EXPORT JNIJSONArtifact : public JNIQelAccessor {
  public:
    ~JNIJSONArtifact() override;

    // JSON text of the current node; empty when the wrapper has none or the text cannot be made.
    virtual std::string serialize();

    // Kind tests; false for a null handle.
    bool isString(jobject node);
    bool isJSONObject(jobject node);
    bool isJSONArray(jobject node);

    // Frees every node handle this wrapper has handed out (not its own node). For long walks that
    // no longer need the handles they were given; the current node reverts to the own node.
    void releaseNodes();
    // Number of node handles handed out and not yet freed.
    size_t heldNodeCount() const { return nodes_.size(); }

  protected:
    JNIJSONArtifact();

    // The Java class table, or null (with the failure recorded) when the classes are missing.
    const JNIJSONClasses* classes();
    // Makes the local reference `local` the wrapper's own node (and current node); deletes `local`.
    void takeOwnNode(jobject local);
    jobject ownNode() const { return own_; }
    // A handle owned by this wrapper for the value behind `local`; deletes `local`. Null for null.
    jobject adoptNode(jobject local);
    // JSON text of any node; "null" for a null handle, empty on failure.
    std::string nodeText(jobject node);

    // New local Java values; null (failure recorded) when one cannot be made.
    jobject localValue(int value);
    jobject localValue(long long value);
    jobject localValue(double value);
    jobject localValue(bool value);
    jobject localValue(std::string_view value);

    // Records a failure that is not a Java exception.
    void fail(const std::string& text);

  private:
    jobject own_ = nullptr;
    std::vector<jobject> nodes_;
};
