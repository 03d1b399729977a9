#include "qeinteg/java/JNIJSONObject.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

JNIJSONObject::JNIJSONObject() {
    if (const Classes* c = bindings()) {
        takeOwnNode(c->jsonObject.create(*this));
        top_ = ownNode();
    }
}

JNIJSONObject::JNIJSONObject(const char* text) {
    if (text == nullptr)
        return;
    clearLastFailure();
    if (const Classes* c = bindings()) {
        LocalRef<jstring> source = qeinteg::jni::NewString(*this, text);
        if (source)
            takeOwnNode(c->jsonObject.parse(*this, source.get()));
    }
    top_ = ownNode();
    if (top_ == nullptr) {
        parserError_ = getLastFailure();
        if (parserError_.empty())
            parserError_ = "the JSON parser gave no object";
    }
}

JNIJSONObject::~JNIJSONObject() = default;

std::string JNIJSONObject::toString() {
    if (getObject() == nullptr)
        return {};
    return nodeText(getObject());
}

std::string JNIJSONObject::toString(jobject node) {
    return nodeText(node);
}

void JNIJSONObject::store(const std::string& key, jobject value) {
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    jobject target = getObject();
    if (!isInstance(target, c->jsonObject.cls.get())) {
        fail("put: the current node is not a JSON object");
        return;
    }
    if (LocalRef<jstring> name = qeinteg::jni::NewString(*this, key))
        c->jsonObject.put(*this, target, name.get(), value);
}

void JNIJSONObject::put(const std::string& key, int value) {
    if (LocalRef<jobject> v = localValue(value))
        store(key, v.get());
}

void JNIJSONObject::put(const std::string& key, long long value) {
    if (LocalRef<jobject> v = localValue(value))
        store(key, v.get());
}

void JNIJSONObject::put(const std::string& key, double value) {
    if (LocalRef<jobject> v = localValue(value))
        store(key, v.get());
}

void JNIJSONObject::put(const std::string& key, bool value) {
    if (LocalRef<jobject> v = localValue(value))
        store(key, v.get());
}

void JNIJSONObject::put(const std::string& key, const char* value) {
    if (value == nullptr) {
        store(key, nullptr);
    } else if (LocalRef<jobject> v = localValue(std::string_view(value))) {
        store(key, v.get());
    }
}

void JNIJSONObject::put(const std::string& key, const std::string& value) {
    if (LocalRef<jobject> v = localValue(std::string_view(value)))
        store(key, v.get());
}

void JNIJSONObject::put(const std::string& key, JNIJSONObject* value) {
    store(key, value != nullptr ? value->getObject() : nullptr);
}

void JNIJSONObject::put(const std::string& key, JNIJSONArray* value) {
    store(key, value != nullptr ? value->getObject() : nullptr);
}

void JNIJSONObject::putNull(const std::string& key) {
    store(key, nullptr);
}

jobject JNIJSONObject::get(jobject node, const char* key) {
    if (node == nullptr)
        return nullptr;
    setObject(node);
    const Classes* c = key != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(node, c->jsonObject.cls.get()))
        return nullptr;
    LocalRef<jstring> name = qeinteg::jni::NewString(*this, key);
    if (!name)
        return nullptr;
    return adoptNode(c->jsonObject.get(*this, node, name.get()));
}

std::string JNIJSONObject::getChildAsString(jobject node, const char* key) {
    if (node == nullptr)
        return {};
    setObject(node);
    const Classes* c = key != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(node, c->jsonObject.cls.get()))
        return {};
    LocalRef<jstring> name = qeinteg::jni::NewString(*this, key);
    if (!name)
        return {};
    LocalRef<jobject> value = c->jsonObject.get(*this, node, name.get());
    if (!isInstance(value.get(), c->box.string.get()))
        return {};
    return qeinteg::jni::ToUtf8(getEnv(), value.get());
}

jobject JNIJSONObject::getByPath(jobject node, const std::string& path) {
    if (node == nullptr || path.empty())
        return nullptr;
    const Classes* c = bindings();
    if (c == nullptr)
        return nullptr;
    // The steps in between are local references released at once; only the last value becomes a
    // handle of this wrapper.
    LocalRef<jobject> current;
    jobject at = node;
    bool anyKey = false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('.', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            if (!isInstance(at, c->jsonObject.cls.get()))
                return nullptr;
            LocalRef<jstring> name =
                qeinteg::jni::NewString(*this, std::string_view(path).substr(start, end - start));
            if (!name)
                return nullptr;
            qeinteg::jni::FailureWatch watch(*this);
            LocalRef<jobject> next = c->jsonObject.get(watch, at, name.get());
            if (watch.failed())
                return nullptr;
            current = std::move(next);
            at = current.get();
            anyKey = true;
        }
        start = end + 1;
    }
    if (!anyKey || at == nullptr)
        return nullptr;
    return adoptNode(std::move(current));
}

std::set<std::string> JNIJSONObject::keySet() {
    return keySet(getObject());
}

std::set<std::string> JNIJSONObject::keySet(jobject node) {
    std::set<std::string> keys;
    const Classes* c = node != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(node, c->jsonObject.cls.get()))
        return keys;
    // One Java call for all keys instead of three per key.
    qeinteg::jni::PackedJson packed = qeinteg::jni::Pack(*this, node, true, keyBuffer_);
    packed.root().forEachElement([&](qeinteg::jni::PackedJson::Node key) {
        if (key.isString())
            keys.emplace(key.text());
        return true;
    });
    if (packed.valid())
        keyBuffer_ = packed.releaseBuffer();
    return keys;
}
