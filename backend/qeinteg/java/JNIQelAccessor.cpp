#include "qeinteg/java/JNIQelAccessor.h"

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

JNIQelAccessor::JNIQelAccessor() {
    setEnv(JNIObjectManager::getManager()->getEnv());
}

JNIQelAccessor::~JNIQelAccessor() {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return;
    for (jobject ref : localRefs_)
        env->DeleteLocalRef(ref);
}

JNIObjectManager* JNIQelAccessor::getJNIObjectManager() {
    return JNIObjectManager::getManager();
}

std::string JNIQelAccessor::getString(jstring s) {
    std::string out;
    getString(s, out);
    return out;
}

void JNIQelAccessor::getString(jstring s, std::string& out) {
    JNIEnv* env = getEnv();
    out.clear();
    if (env == nullptr)
        return;
    out = qejni::JavaStringToUtf8(env, s);
    checkException(false);
}

void JNIQelAccessor::trackLocalRef(jobject ref) {
    if (ref != nullptr)
        localRefs_.push_back(ref);
}

void JNIQelAccessor::setObjectG(jobject obj, bool global, bool track) {
    jobject wrapped = obj;
    if (global) {
        wrapped = getJNIObjectManager()->createGlobalRef(obj, track);
    } else if (track) {
        trackLocalRef(obj);
    }
    setObject(wrapped);
}

jobject JNIQelAccessor::finishNewObject(jobject local, bool global, bool track) {
    JNIEnv* env = getEnv();
    if (local == nullptr) {
        checkException(false);
        return nullptr;
    }
    if (track)
        trackLocalRef(local);
    if (!global)
        return local;
    jobject result = getJNIObjectManager()->createGlobalRef(local, track);
    // An untracked local would otherwise live until the thread detaches.
    if (!track)
        env->DeleteLocalRef(local);
    return result;
}

jobject JNIQelAccessor::newBoxed(const char* className, const char* signature, jvalue value,
                                 bool global, bool track) {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return nullptr;
    jclass cls = FindClassCached(env, className);
    if (cls == nullptr)
        return nullptr;
    jmethodID constructor = env->GetMethodID(cls, "<init>", signature);
    if (constructor == nullptr) {
        checkException(false);
        return nullptr;
    }
    return finishNewObject(env->NewObjectA(cls, constructor, &value), global, track);
}

jobject JNIQelAccessor::newObject(int value, bool global, bool track) {
    jvalue v;
    v.i = value;
    return newBoxed("java/lang/Integer", "(I)V", v, global, track);
}

jobject JNIQelAccessor::newObject(long long value, bool global, bool track) {
    jvalue v;
    v.j = static_cast<jlong>(value);
    return newBoxed("java/lang/Long", "(J)V", v, global, track);
}

jobject JNIQelAccessor::newObject(double value, bool global, bool track) {
    jvalue v;
    v.d = value;
    return newBoxed("java/lang/Double", "(D)V", v, global, track);
}

jobject JNIQelAccessor::newObject(bool value, bool global, bool track) {
    jvalue v;
    v.z = value ? JNI_TRUE : JNI_FALSE;
    return newBoxed("java/lang/Boolean", "(Z)V", v, global, track);
}

jobject JNIQelAccessor::newObject(const char* value, bool global, bool track) {
    JNIEnv* env = getEnv();
    if (env == nullptr || value == nullptr)
        return nullptr;
    return finishNewObject(qejni::NewJavaString(env, value), global, track);
}

jobject JNIQelAccessor::newObject(const std::string& value, bool global, bool track) {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return nullptr;
    return finishNewObject(qejni::NewJavaString(env, value), global, track);
}

void JNIQelAccessor::init(const char* className, bool global) {
    JNIEnv* env = getEnv();
    if (env == nullptr || !setClass(className) || !setMethod("<init>", "()V"))
        return;
    jobject created = env->NewObject(getClass(), getMethod());
    if (created != nullptr)
        setObjectG(created, global, true);
    checkException(false);
}

void JNIQelAccessor::init(jobject obj, bool global) {
    if (getEnv() == nullptr || obj == nullptr)
        return;
    setClassOf(obj);
    setObjectG(obj, global, true);
    checkException(false);
}
