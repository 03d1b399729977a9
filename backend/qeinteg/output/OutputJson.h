// Read-only walking of a parsed output document. Every reader tolerates absent members and members
// of the wrong kind: it answers null, 0, false, an empty text or the given default.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

class JNIJSONObject;
class JNIJSONArray;

namespace qeinteg::output {

class OutputJson {
public:
    explicit OutputJson(JNIJSONObject& document);
    ~OutputJson();
    OutputJson(const OutputJson&) = delete;
    OutputJson& operator=(const OutputJson&) = delete;

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
    // A boolean member, or `fallback` when the member is absent.
    bool Bool(jobject node, const char* key, bool fallback);
    // An integer member, or `fallback` when the member is absent.
    int Int(jobject node, const char* key, int fallback);
    // The integers of an array member (absent: none).
    std::vector<int> Ints(jobject node, const char* key);
    std::string Serialize(jobject node);
    jobject ByPath(jobject node, const std::string& path);

private:
    JNIJSONObject& document_;
    JNIJSONArray* arrays_;  // reader of array nodes
};

}  // namespace qeinteg::output
