#include "qeinteg/java/JNIJSONArtifact.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

JNIJSONArtifact::JNIJSONArtifact() = default;
JNIJSONArtifact::~JNIJSONArtifact() = default;

void JNIJSONArtifact::fail(const std::string& text) {
    qeinteg::jni::Fail(*this, qeinteg::jni::OwnFailure({}, text));
}

void JNIJSONArtifact::takeOwnNode(LocalRef<jobject> local) {
    if (!local)
        return;
    own_ = qeinteg::jni::GlobalRef(getEnv(), local.get());
    setObject(own_.get());
}

jobject JNIJSONArtifact::adoptNode(LocalRef<jobject> local) {
    if (!local)
        return nullptr;
    nodes_.emplace_back(getEnv(), local.get());
    return nodes_.back().get();
}

void JNIJSONArtifact::releaseNodes() {
    nodes_.clear();
    setObject(own_.get());
}

bool JNIJSONArtifact::isInstance(jobject node, jclass cls) {
    return node != nullptr && getEnv() != nullptr && getEnv()->IsInstanceOf(node, cls);
}

bool JNIJSONArtifact::isString(jobject node) {
    const Classes* c = node != nullptr ? bindings() : nullptr;
    return c != nullptr && isInstance(node, c->box.string.get());
}

bool JNIJSONArtifact::isJSONObject(jobject node) {
    const Classes* c = node != nullptr ? bindings() : nullptr;
    return c != nullptr && isInstance(node, c->jsonObject.cls.get());
}

bool JNIJSONArtifact::isJSONArray(jobject node) {
    const Classes* c = node != nullptr ? bindings() : nullptr;
    return c != nullptr && isInstance(node, c->jsonArray.cls.get());
}

qeinteg::jni::PackedJson JNIJSONArtifact::readTree(jobject node) {
    return qeinteg::jni::Pack(*this, node, false);
}

std::string JNIJSONArtifact::serialize() {
    if (getObject() == nullptr)
        return {};
    return nodeText(getObject());
}

std::string JNIJSONArtifact::nodeText(jobject node) {
    if (node == nullptr)
        return "null";
    const Classes* c = bindings();
    if (c == nullptr)
        return {};
    LocalRef<jstring> text;
    if (isInstance(node, c->jsonObject.cls.get())) {
        text = c->jsonObject.serialize(*this, node);
    } else if (isInstance(node, c->jsonArray.cls.get())) {
        text = c->jsonArray.serialize(*this, node);
    } else {
        // A scalar: let the library write it as the one element of an array, then drop the
        // brackets, so that its escaping and number format are the same as everywhere else.
        LocalRef<jobject> holder = c->jsonArray.create(*this);
        if (!holder || !c->jsonArray.add(*this, holder.get(), node))
            return {};
        std::string wrapped =
            qeinteg::jni::ToUtf8(getEnv(), c->jsonArray.serialize(*this, holder.get()).get());
        if (wrapped.size() < 2)
            return {};
        return wrapped.substr(1, wrapped.size() - 2);
    }
    if (!text)
        return {};
    return qeinteg::jni::ToUtf8(getEnv(), text.get());
}

LocalRef<jobject> JNIJSONArtifact::localValue(int value) {
    const Classes* c = bindings();
    return c == nullptr ? LocalRef<jobject>() : c->box.newInteger(*this, value);
}

LocalRef<jobject> JNIJSONArtifact::localValue(long long value) {
    const Classes* c = bindings();
    return c == nullptr ? LocalRef<jobject>() : c->box.newLong(*this, static_cast<jlong>(value));
}

LocalRef<jobject> JNIJSONArtifact::localValue(double value) {
    const Classes* c = bindings();
    return c == nullptr ? LocalRef<jobject>() : c->box.newDouble(*this, value);
}

LocalRef<jobject> JNIJSONArtifact::localValue(bool value) {
    const Classes* c = bindings();
    return c == nullptr ? LocalRef<jobject>()
                        : c->box.newBoolean(*this, value ? JNI_TRUE : JNI_FALSE);
}

LocalRef<jobject> JNIJSONArtifact::localValue(std::string_view value) {
    LocalRef<jstring> text = qeinteg::jni::NewString(*this, value);
    return LocalRef<jobject>(getEnv(), text.release());
}
