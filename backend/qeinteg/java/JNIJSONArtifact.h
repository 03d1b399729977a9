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
#include "qeinteg/java/jni/PackedJson.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIJSONArtifact : public JNIQelAccessor {
  public:
    ~JNIJSONArtifact() override;

    // JSON text of the current node; empty when the wrapper has none or the text cannot be made.
    virtual std::string serialize();

    // Kind tests; false for a null handle.
    bool isString(jobject node);
    bool isJSONObject(jobject node);
    bool isJSONArray(jobject node);

    // The value of node (of any kind) copied out of Java in one call, to be read natively with no
    // further Java call (jni/PackedJson.h): for walks over many nodes, where the calls per node
    // would cost far more than the copy. Not valid (getLastFailure() says why) when the value
    // cannot be copied; a null node gives a JSON null.
    qeinteg::jni::PackedJson readTree(jobject node);

    // Frees every node handle this wrapper has handed out (not its own node). For long walks that
    // no longer need the handles they were given; the current node reverts to the own node.
    void releaseNodes();
    // Number of node handles handed out and not yet freed.
    size_t heldNodeCount() const { return nodes_.size(); }

  protected:
    JNIJSONArtifact();

    // Makes `local` the wrapper's own node (and current node).
    void takeOwnNode(qeinteg::jni::LocalRef<jobject> local);
    jobject ownNode() const { return own_.get(); }
    // A handle owned by this wrapper for the value behind `local`. Null for null.
    jobject adoptNode(qeinteg::jni::LocalRef<jobject> local);
    // JSON text of any node; "null" for a null handle, empty on failure.
    std::string nodeText(jobject node);
    // True when node is an instance of cls (false for null).
    bool isInstance(jobject node, jclass cls);

    // New local Java values; empty (failure recorded) when one cannot be made.
    qeinteg::jni::LocalRef<jobject> localValue(int value);
    qeinteg::jni::LocalRef<jobject> localValue(long long value);
    qeinteg::jni::LocalRef<jobject> localValue(double value);
    qeinteg::jni::LocalRef<jobject> localValue(bool value);
    qeinteg::jni::LocalRef<jobject> localValue(std::string_view value);

    // Records a failure that is not a Java exception.
    void fail(const std::string& text);

  private:
    qeinteg::jni::GlobalRef own_;
    std::vector<qeinteg::jni::GlobalRef> nodes_;
};
