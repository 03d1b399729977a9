#include "qeinteg/output/OutputJson.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONBoolean.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace qeinteg::output {

OutputJson::OutputJson(JNIJSONObject& document)
    : document_(document),
      integers_(std::make_unique<JNIJSONInteger>()),
      doubles_(std::make_unique<JNIJSONDouble>()),
      booleans_(std::make_unique<JNIJSONBoolean>()) {
    levels_.push_back({nullptr, std::make_unique<JNIJSONArray>()});
}

OutputJson::~OutputJson() = default;

OutputJson::Scope::Scope(OutputJson& json) : json_(json) {
    ++json_.depth_;
    if (json_.levels_.size() <= json_.depth_) {
        json_.levels_.push_back(
            {std::make_unique<JNIJSONObject>(), std::make_unique<JNIJSONArray>()});
    }
}

OutputJson::Scope::~Scope() {
    Level& level = json_.levels_[json_.depth_];
    level.objects->releaseNodes();
    level.arrays->releaseNodes();
    --json_.depth_;
}

JNIJSONObject& OutputJson::objects() {
    return depth_ == 0 ? document_ : *levels_[depth_].objects;
}

JNIJSONArray& OutputJson::arrays() {
    return *levels_[depth_].arrays;
}

jobject OutputJson::Get(jobject node, const char* key) {
    if (node == nullptr)
        return nullptr;
    return objects().get(node, key);
}

std::string OutputJson::String(jobject node, const char* key) {
    if (node == nullptr)
        return {};
    return objects().getChildAsString(node, key);
}

std::string OutputJson::Text(jobject node) {
    if (!IsString(node))
        return {};
    return qejni::JavaStringToUtf8(document_.getEnv(), static_cast<jstring>(node));
}

bool OutputJson::IsString(jobject node) {
    return node != nullptr && document_.isString(node);
}
bool OutputJson::IsObject(jobject node) {
    return node != nullptr && document_.isJSONObject(node);
}
bool OutputJson::IsArray(jobject node) {
    return node != nullptr && document_.isJSONArray(node);
}

bool OutputJson::IsScalar(jobject node) {
    return node != nullptr && !IsString(node) && !IsObject(node) && !IsArray(node);
}

int OutputJson::Size(jobject node) {
    return node == nullptr ? 0 : arrays().size(node);
}

jobject OutputJson::At(jobject array, int index) {
    if (array == nullptr || index < 0)
        return nullptr;
    return arrays().get(array, index);
}

int OutputJson::Int(jobject node) {
    return IsScalar(node) ? integers_->intValue(node) : 0;
}

double OutputJson::Double(jobject node) {
    return IsScalar(node) ? doubles_->doubleValue(node) : 0;
}

double OutputJson::Number(jobject node) {
    return node == nullptr ? 0 : doubles_->doubleValue(node);
}

bool OutputJson::Bool(jobject node, const char* key, bool fallback) {
    jobject value = Get(node, key);
    if (!IsScalar(value))
        return fallback;
    return booleans_->booleanValue(value);
}

int OutputJson::Int(jobject node, const char* key, int fallback) {
    jobject value = Get(node, key);
    return IsScalar(value) ? integers_->intValue(value) : fallback;
}

std::vector<int> OutputJson::Ints(jobject node, const char* key) {
    std::vector<int> out;
    jobject array = Get(node, key);
    for (int i = 0, n = Size(array); i < n; ++i)
        out.push_back(Int(At(array, i)));
    return out;
}

std::string OutputJson::Serialize(jobject node) {
    return objects().toString(node);
}

jobject OutputJson::ByPath(jobject node, const std::string& path) {
    if (node == nullptr)
        return nullptr;
    return objects().getByPath(node, path);
}

qeinteg::jni::PackedJson OutputJson::Tree(jobject node) {
    return document_.readTree(node);
}

bool OutputJson::HasMembers(jobject node) {
    return IsObject(node) && !objects().keySet(node).empty();
}

}  // namespace qeinteg::output
