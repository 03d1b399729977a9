// Read-only walking of a parsed output document. Every reader tolerates absent members and members
// of the wrong kind: it answers null, 0, false, an empty text or the given default.
//
// Node handles are owned by the reader of the innermost open Scope; they die when that scope
// closes. A walk over a large table opens a scope per category or per run of cells, so that it
// holds only the handles it still needs.
#pragma once

#include <jni.h>

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/java/jni/PackedJson.h"

class JNIJSONObject;
class JNIJSONArray;
class JNIJSONInteger;
class JNIJSONDouble;
class JNIJSONBoolean;

namespace qeinteg::output {

class OutputJson {
  public:
    explicit OutputJson(JNIJSONObject& document);
    ~OutputJson();
    OutputJson(const OutputJson&) = delete;
    OutputJson& operator=(const OutputJson&) = delete;

    // Handles obtained while a Scope is open are released when it closes.
    class Scope {
      public:
        explicit Scope(OutputJson& json);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        OutputJson& json_;
    };

    JNIJSONObject& document() { return document_; }

    jobject Get(jobject node, const char* key);
    // The string under key; empty when absent or not a string.
    std::string String(jobject node, const char* key);
    // The text of a string node; empty for any other node.
    std::string Text(jobject node);
    bool IsString(jobject node);
    bool IsObject(jobject node);
    bool IsArray(jobject node);
    // Element count of an array node; 0 for anything else.
    int Size(jobject node);
    jobject At(jobject array, int index);
    int Int(jobject node);
    double Double(jobject node);
    // Any node read as a number: 0 for anything that is not one. One call, for long runs of cells.
    double Number(jobject node);
    // A boolean member, or `fallback` when the member is absent or not a boolean.
    bool Bool(jobject node, const char* key, bool fallback);
    // An integer member, or `fallback` when the member is absent or not a number.
    int Int(jobject node, const char* key, int fallback);
    // The integers of an array member (absent: none).
    std::vector<int> Ints(jobject node, const char* key);
    // JSON text of a node ("null" for a null handle).
    std::string Serialize(jobject node);
    jobject ByPath(jobject node, const std::string& path);
    // The whole value of node copied out in one Java call, for reading many nodes natively; not
    // valid when it cannot be copied (the failure is reported).
    qeinteg::jni::PackedJson Tree(jobject node);
    bool HasMembers(jobject node);

  private:
    struct Level {
        std::unique_ptr<JNIJSONObject> objects;  // null at level 0: the document itself
        std::unique_ptr<JNIJSONArray> arrays;
    };
    JNIJSONObject& objects();
    JNIJSONArray& arrays();
    bool IsScalar(jobject node);

    JNIJSONObject& document_;
    std::vector<Level> levels_;
    std::size_t depth_ = 0;
    std::unique_ptr<JNIJSONInteger> integers_;
    std::unique_ptr<JNIJSONDouble> doubles_;
    std::unique_ptr<JNIJSONBoolean> booleans_;
};

}  // namespace qeinteg::output
