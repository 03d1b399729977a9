#include "qeinteg/java/JNIJSONObject.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONClasses.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

using qeinteg::jni::LocalRef;

JNIJSONObject::JNIJSONObject() {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    JNIEnv* env = getEnv();
    jobject created = env->NewObject(t->object, t->objectInit);
    if (checkException(false) || created == nullptr)
        return;
    takeOwnNode(created);
    top_ = ownNode();
}

JNIJSONObject::JNIJSONObject(const char* text) {
    if (text == nullptr)
        return;
    const JNIJSONClasses* t = classes();
    if (t == nullptr) {
        parserError_ = getLastFailure();
        return;
    }
    JNIEnv* env = getEnv();
    clearLastFailure();
    LocalRef<jstring> source(env, qejni::NewJavaString(env, text));
    jobject parsed = nullptr;
    if (source)
        parsed = env->CallStaticObjectMethod(t->object, t->objectParse, source.get());
    if (checkException(false) || parsed == nullptr) {
        if (parsed != nullptr)
            env->DeleteLocalRef(parsed);
        parserError_ = getLastFailure();
        if (parserError_.empty())
            parserError_ = "the JSON parser gave no object";
        return;
    }
    takeOwnNode(parsed);
    top_ = ownNode();
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

void JNIJSONObject::store(const std::string& key, jobject value, bool ownsValue) {
    JNIEnv* env = getEnv();
    LocalRef<jobject> ownedValue(env, ownsValue ? value : nullptr);
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    jobject target = getObject();
    if (target == nullptr || !env->IsInstanceOf(target, t->object)) {
        fail("put: the current node is not a JSON object");
        return;
    }
    LocalRef<jstring> name(env, qejni::NewJavaString(env, key));
    if (!name) {
        checkException(false);
        return;
    }
    LocalRef<jobject> previous(env, env->CallObjectMethod(target, t->objectPut, name.get(), value));
    checkException(false);
}

void JNIJSONObject::put(const std::string& key, int value) {
    if (jobject v = localValue(value))
        store(key, v, true);
}

void JNIJSONObject::put(const std::string& key, long long value) {
    if (jobject v = localValue(value))
        store(key, v, true);
}

void JNIJSONObject::put(const std::string& key, double value) {
    if (jobject v = localValue(value))
        store(key, v, true);
}

void JNIJSONObject::put(const std::string& key, bool value) {
    if (jobject v = localValue(value))
        store(key, v, true);
}

void JNIJSONObject::put(const std::string& key, const char* value) {
    if (value == nullptr) {
        store(key, nullptr, false);
    } else if (jobject v = localValue(std::string_view(value))) {
        store(key, v, true);
    }
}

void JNIJSONObject::put(const std::string& key, const std::string& value) {
    if (jobject v = localValue(std::string_view(value)))
        store(key, v, true);
}

void JNIJSONObject::put(const std::string& key, JNIJSONObject* value) {
    store(key, value != nullptr ? value->getObject() : nullptr, false);
}

void JNIJSONObject::put(const std::string& key, JNIJSONArray* value) {
    store(key, value != nullptr ? value->getObject() : nullptr, false);
}

void JNIJSONObject::putNull(const std::string& key) {
    store(key, nullptr, false);
}

jobject JNIJSONObject::get(jobject node, const char* key) {
    if (node == nullptr)
        return nullptr;
    setObject(node);
    if (key == nullptr)
        return nullptr;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(node, t->object))
        return nullptr;
    LocalRef<jstring> name(env, qejni::NewJavaString(env, key));
    if (!name) {
        checkException(false);
        return nullptr;
    }
    jobject value = env->CallObjectMethod(node, t->objectGet, name.get());
    if (checkException(false))
        return nullptr;
    return adoptNode(value);
}

std::string JNIJSONObject::getChildAsString(jobject node, const char* key) {
    if (node == nullptr)
        return {};
    setObject(node);
    if (key == nullptr)
        return {};
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(node, t->object))
        return {};
    LocalRef<jstring> name(env, qejni::NewJavaString(env, key));
    if (!name) {
        checkException(false);
        return {};
    }
    LocalRef<jobject> value(env, env->CallObjectMethod(node, t->objectGet, name.get()));
    if (checkException(false) || !value || !env->IsInstanceOf(value.get(), t->string))
        return {};
    std::string text = qejni::JavaStringToUtf8(env, static_cast<jstring>(value.get()));
    checkException(false);
    return text;
}

jobject JNIJSONObject::getByPath(jobject node, const std::string& path) {
    if (node == nullptr || path.empty())
        return nullptr;
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return nullptr;
    JNIEnv* env = getEnv();
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
            if (at == nullptr || !env->IsInstanceOf(at, t->object))
                return nullptr;
            LocalRef<jstring> name(env, qejni::NewJavaString(env, path.substr(start, end - start)));
            if (!name) {
                checkException(false);
                return nullptr;
            }
            LocalRef<jobject> next(env, env->CallObjectMethod(at, t->objectGet, name.get()));
            if (checkException(false))
                return nullptr;
            current = std::move(next);
            at = current.get();
            anyKey = true;
        }
        start = end + 1;
    }
    if (!anyKey || at == nullptr)
        return nullptr;
    return adoptNode(current.release());
}

std::set<std::string> JNIJSONObject::keySet() {
    return keySet(getObject());
}

std::set<std::string> JNIJSONObject::keySet(jobject node) {
    std::set<std::string> keys;
    if (node == nullptr)
        return keys;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(node, t->object))
        return keys;
    LocalRef<jobject> set(env, env->CallObjectMethod(node, t->objectKeySet));
    if (checkException(false) || !set)
        return keys;
    LocalRef<jobject> iterator(env, env->CallObjectMethod(set.get(), t->setIterator));
    if (checkException(false) || !iterator)
        return keys;
    while (true) {
        const jboolean more = env->CallBooleanMethod(iterator.get(), t->iteratorHasNext);
        if (checkException(false) || !more)
            break;
        LocalRef<jobject> key(env, env->CallObjectMethod(iterator.get(), t->iteratorNext));
        if (checkException(false))
            break;
        if (key && env->IsInstanceOf(key.get(), t->string)) {
            keys.insert(qejni::JavaStringToUtf8(env, static_cast<jstring>(key.get())));
        }
    }
    return keys;
}
