#include "qeinteg/output/OutputJson.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONBoolean.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace qeinteg::output {

OutputJson::OutputJson(JNIJSONObject& document)
    : document_(document), arrays_(new JNIJSONArray()) {}

OutputJson::~OutputJson() { delete arrays_; }

jobject OutputJson::Get(jobject node, const char* key) {
    if (!IsObject(node)) return nullptr;
    return document_.get(node, key);
}

std::string OutputJson::String(jobject node, const char* key) {
    jobject value = Get(node, key);
    return IsString(value) ? document_.toString(value) : std::string();
}

std::string OutputJson::Text(jobject node) {
    return IsString(node) ? document_.toString(node) : std::string();
}

bool OutputJson::IsString(jobject node) { return node != nullptr && document_.isString(node); }
bool OutputJson::IsObject(jobject node) { return node != nullptr && document_.isJSONObject(node); }
bool OutputJson::IsArray(jobject node) { return node != nullptr && document_.isJSONArray(node); }

int OutputJson::Size(jobject node) { return IsArray(node) ? arrays_->size(node) : 0; }

jobject OutputJson::At(jobject array, int index) {
    if (index < 0 || index >= Size(array)) return nullptr;
    return arrays_->get(array, index);
}

int OutputJson::Int(jobject node) {
    if (node == nullptr || IsString(node) || IsObject(node) || IsArray(node)) return 0;
    JNIJSONInteger reader;
    return reader.intValue(node);
}

double OutputJson::Double(jobject node) {
    if (node == nullptr || IsString(node) || IsObject(node) || IsArray(node)) return 0;
    JNIJSONDouble reader;
    return reader.doubleValue(node);
}

bool OutputJson::Bool(jobject node, const char* key, bool fallback) {
    jobject value = Get(node, key);
    if (value == nullptr || IsString(value) || IsObject(value) || IsArray(value)) return fallback;
    JNIJSONBoolean reader;
    return reader.booleanValue(value);
}

int OutputJson::Int(jobject node, const char* key, int fallback) {
    jobject value = Get(node, key);
    if (value == nullptr || IsString(value) || IsObject(value) || IsArray(value)) return fallback;
    return Int(value);
}

std::vector<int> OutputJson::Ints(jobject node, const char* key) {
    std::vector<int> out;
    jobject array = Get(node, key);
    for (int i = 0, n = Size(array); i < n; ++i) out.push_back(Int(At(array, i)));
    return out;
}

std::string OutputJson::Serialize(jobject node) {
    if (node == nullptr) return "null";
    return document_.toString(node);
}

jobject OutputJson::ByPath(jobject node, const std::string& path) {
    return document_.getByPath(node, path);
}

}  // namespace qeinteg::output
