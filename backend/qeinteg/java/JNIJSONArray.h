// A JSON array: build one, parse one, read its elements, turn it into text.
//
// Elements are added, inserted and replaced in the wrapper's own array. size(node) and get(node, i)
// read any array node (for instance one found in a parsed document) and do not change the wrapper.
// An index out of range is a recorded failure (getLastFailure()); the array stays as it was.
#pragma once

#include <jni.h>

#include <string>

#include "qeinteg/java/JNIJSONArtifact.h"
#include "qeinteg/qeinteg_export.h"

class JNIJSONObject;

class QEINTEG_EXPORT JNIJSONArray : public JNIJSONArtifact {
  public:
    // A new empty array.
    JNIJSONArray();
    // A new empty array with room for capacity elements.
    explicit JNIJSONArray(int capacity);
    // Parses text as one JSON array; a null pointer or invalid text leaves the wrapper without a
    // node (the parser's message is then getLastFailure()).
    explicit JNIJSONArray(const char* text);
    ~JNIJSONArray() override;

    bool isGood() const { return getObject() != nullptr; }

    // Element count of the own array / of array (0 for a null or non-array node).
    int size();
    int size(jobject array);
    // The element at index of array; null when it is JSON null, out of range or array is not one.
    jobject get(jobject array, int index);

    // JSON text of the array; empty when the wrapper has none.
    std::string serialize() override;

    // Appends one element. A null wrapper or string pointer appends JSON null.
    void add(int value);
    void add(long long value);
    void add(double value);
    void add(bool value);
    void add(const char* value);
    void add(const std::string& value);
    void add(JNIJSONObject* value);
    void add(JNIJSONArray* value);
    void addNull();

    // Inserts at index (0 to size()), moving later elements up.
    void add(int index, int value);
    void add(int index, long long value);
    void add(int index, double value);
    void add(int index, bool value);
    void add(int index, const char* value);
    void add(int index, const std::string& value);
    void add(int index, JNIJSONObject* value);
    void add(int index, JNIJSONArray* value);
    void addNull(int index);

    // Replaces the element at index (0 to size() - 1).
    void set(int index, int value);
    void set(int index, long long value);
    void set(int index, double value);
    void set(int index, bool value);
    void set(int index, const char* value);
    void set(int index, const std::string& value);
    void set(int index, JNIJSONObject* value);
    void set(int index, JNIJSONArray* value);
    void setNull(int index);

  private:
    enum class Op { Append, Insert, Replace };
    // Applies op with `value` (null for JSON null) to the own array.
    void apply(Op op, int index, jobject value);
    template <typename T>
    void applyScalar(Op op, int index, T value);
    void applyText(Op op, int index, const char* value);
};
