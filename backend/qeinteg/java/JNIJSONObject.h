// A JSON object: build one, parse one, walk a document by key and dotted path, turn it into text.
//
// The wrapper has an own node (the object it made or parsed) and a current node, which put() writes
// to and toString() writes out. get(node, key) makes `node` the current node, so a reader that
// walks with get() and then calls toString() sees the object it last looked into; getTop() keeps
// the root.
//
// Storing a JNIJSONObject or JNIJSONArray links the same Java value (not a copy): changes made
// later through the stored wrapper show in this object.
#pragma once

#include <jni.h>

#include <set>
#include <string>

#include "qeinteg/java/JNIJSONArtifact.h"
#include "qeinteg/qeinteg_export.h"

class JNIJSONArray;

class QEINTEG_EXPORT JNIJSONObject : public JNIJSONArtifact {
  public:
    // A new empty object.
    JNIJSONObject();
    // Parses text as one JSON object. A null pointer leaves the wrapper without a node and without
    // an error; a text that is not exactly one valid JSON object leaves it without a node and with
    // the parser's message (what and where) in getParserError().
    explicit JNIJSONObject(const char* text);
    ~JNIJSONObject() override;

    bool isGood() const { return getObject() != nullptr; }
    const std::string& getParserError() const { return parserError_; }
    // The root of the parsed document (for an object built empty, its own node).
    jobject getTop() const { return top_; }

    // JSON text of the current node / of node ("null" for a null node).
    std::string toString();
    std::string toString(jobject node);

    // Stores a value under key in the current node, replacing an existing one. A null wrapper or
    // string pointer stores JSON null.
    void put(const std::string& key, int value);
    void put(const std::string& key, long long value);
    void put(const std::string& key, double value);
    void put(const std::string& key, bool value);
    void put(const std::string& key, const char* value);
    void put(const std::string& key, const std::string& value);
    void put(const std::string& key, JNIJSONObject* value);
    void put(const std::string& key, JNIJSONArray* value);
    void putNull(const std::string& key);

    // The value under key in node (null when absent, JSON null, or node is not an object). A
    // non-null node becomes the current node.
    jobject get(jobject node, const char* key);
    // The string under key in node (node becomes the current node as with get); empty when the
    // value is absent, null or not a string.
    std::string getChildAsString(jobject node, const char* key);
    // The value at a dotted path below node ("a.b.c"; empty pieces are skipped). Null when node is
    // null, the path has no key, or a step meets a missing value or a non-object. Leaves the
    // current node as it is.
    jobject getByPath(jobject node, const std::string& path);

    // The keys of the current node / of node, in ascending byte order; empty for a non-object.
    std::set<std::string> keySet();
    std::set<std::string> keySet(jobject node);

  private:
    // Stores `value` (null for JSON null) under key in the current node.
    void store(const std::string& key, jobject value);

    jobject top_ = nullptr;
    std::string parserError_;
    // The buffer keySet() packs the keys into, kept for the next call.
    qeinteg::jni::GlobalRef keyBuffer_;
};
