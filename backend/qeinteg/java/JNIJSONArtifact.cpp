#include "qeinteg/java/JNIJSONArtifact.h"

#include "qeinteg/java/JNIJSONClasses.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

using qeinteg::jni::LocalRef;

JNIJSONArtifact::JNIJSONArtifact() = default;

JNIJSONArtifact::~JNIJSONArtifact() {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return;
    for (jobject node : nodes_)
        env->DeleteGlobalRef(node);
    if (own_ != nullptr)
        env->DeleteGlobalRef(own_);
}

const JNIJSONClasses* JNIJSONArtifact::classes() {
    const JNIJSONClasses* table = JNIJSONClasses::get(getEnv());
    if (table == nullptr)
        fail("the Java JSON classes are not available");
    return table;
}

void JNIJSONArtifact::fail(const std::string& text) {
    // The base keeps the text of the last Java exception; a failure of our own goes the same way
    // so that callers find every failure in one place.
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return;
    jclass illegalState = FindClassCached(env, "java/lang/IllegalStateException");
    if (illegalState == nullptr)
        return;
    if (env->ThrowNew(illegalState, text.c_str()) == 0)
        checkException(false);
}

void JNIJSONArtifact::takeOwnNode(jobject local) {
    JNIEnv* env = getEnv();
    if (env == nullptr || local == nullptr)
        return;
    if (own_ != nullptr)
        env->DeleteGlobalRef(own_);
    own_ = env->NewGlobalRef(local);
    env->DeleteLocalRef(local);
    setObject(own_);
}

jobject JNIJSONArtifact::adoptNode(jobject local) {
    JNIEnv* env = getEnv();
    if (env == nullptr || local == nullptr)
        return nullptr;
    jobject global = env->NewGlobalRef(local);
    env->DeleteLocalRef(local);
    if (global != nullptr)
        nodes_.push_back(global);
    return global;
}

void JNIJSONArtifact::releaseNodes() {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return;
    for (jobject node : nodes_)
        env->DeleteGlobalRef(node);
    nodes_.clear();
    setObject(own_);
}

bool JNIJSONArtifact::isString(jobject node) {
    const JNIJSONClasses* t = node != nullptr ? classes() : nullptr;
    return t != nullptr && getEnv()->IsInstanceOf(node, t->string);
}

bool JNIJSONArtifact::isJSONObject(jobject node) {
    const JNIJSONClasses* t = node != nullptr ? classes() : nullptr;
    return t != nullptr && getEnv()->IsInstanceOf(node, t->object);
}

bool JNIJSONArtifact::isJSONArray(jobject node) {
    const JNIJSONClasses* t = node != nullptr ? classes() : nullptr;
    return t != nullptr && getEnv()->IsInstanceOf(node, t->array);
}

std::string JNIJSONArtifact::serialize() {
    if (getObject() == nullptr)
        return {};
    return nodeText(getObject());
}

std::string JNIJSONArtifact::nodeText(jobject node) {
    if (node == nullptr)
        return "null";
    JNIEnv* env = getEnv();
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return {};
    LocalRef<jstring> text;
    if (env->IsInstanceOf(node, t->object)) {
        text = LocalRef<jstring>(
            env, static_cast<jstring>(env->CallObjectMethod(node, t->objectSerialize)));
    } else if (env->IsInstanceOf(node, t->array)) {
        text = LocalRef<jstring>(
            env, static_cast<jstring>(env->CallObjectMethod(node, t->arraySerialize)));
    } else {
        // A scalar: let the library write it as the one element of an array, then drop the
        // brackets, so that its escaping and number format are the same as everywhere else.
        LocalRef<jobject> holder(env, env->NewObject(t->array, t->arrayInit));
        if (checkException(false) || !holder)
            return {};
        env->CallBooleanMethod(holder.get(), t->arrayAdd, node);
        if (checkException(false))
            return {};
        LocalRef<jstring> wrapped(
            env, static_cast<jstring>(env->CallObjectMethod(holder.get(), t->arraySerialize)));
        if (checkException(false) || !wrapped)
            return {};
        std::string result = qejni::JavaStringToUtf8(env, wrapped.get());
        if (result.size() < 2)
            return {};
        return result.substr(1, result.size() - 2);
    }
    if (checkException(false) || !text)
        return {};
    return qejni::JavaStringToUtf8(env, text.get());
}

namespace {

jobject Box(JNIEnv* env, jclass cls, jmethodID constructor, jvalue value) {
    return env->NewObjectA(cls, constructor, &value);
}

}  // namespace

jobject JNIJSONArtifact::localValue(int value) {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return nullptr;
    jvalue v;
    v.i = value;
    jobject boxed = Box(getEnv(), t->integer, t->integerInit, v);
    if (boxed == nullptr)
        checkException(false);
    return boxed;
}

jobject JNIJSONArtifact::localValue(long long value) {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return nullptr;
    jvalue v;
    v.j = static_cast<jlong>(value);
    jobject boxed = Box(getEnv(), t->long_, t->longInit, v);
    if (boxed == nullptr)
        checkException(false);
    return boxed;
}

jobject JNIJSONArtifact::localValue(double value) {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return nullptr;
    jvalue v;
    v.d = value;
    jobject boxed = Box(getEnv(), t->double_, t->doubleInit, v);
    if (boxed == nullptr)
        checkException(false);
    return boxed;
}

jobject JNIJSONArtifact::localValue(bool value) {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return nullptr;
    jvalue v;
    v.z = value ? JNI_TRUE : JNI_FALSE;
    jobject boxed = Box(getEnv(), t->boolean, t->booleanInit, v);
    if (boxed == nullptr)
        checkException(false);
    return boxed;
}

jobject JNIJSONArtifact::localValue(std::string_view value) {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return nullptr;
    jstring text = qejni::NewJavaString(env, value);
    if (text == nullptr)
        checkException(false);
    return text;
}
