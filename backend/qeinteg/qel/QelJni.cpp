#include "qeinteg/qel/QelJni.h"

#include <cstdarg>
#include <mutex>
#include <unordered_map>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace qeinteg::qeljni {

namespace {

std::mutex& MethodCacheMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_map<std::string, jmethodID>& MethodCache() {
    static auto* cache = new std::unordered_map<std::string, jmethodID>();
    return *cache;
}

// The receiver and method of an instance call; null when the wrapper holds no object.
jmethodID Prepare(JNIQelAccessor& self, const char* className, const char* name,
                  const char* signature) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || self.getObject() == nullptr)
        return nullptr;
    return Method(env, className, name, signature);
}

}  // namespace

jmethodID Method(JNIEnv* env, const char* className, const char* name, const char* signature,
                 bool isStatic) {
    std::string key = std::string(className) + (isStatic ? "::" : ".") + name + signature;
    {
        std::lock_guard<std::mutex> lock(MethodCacheMutex());
        auto found = MethodCache().find(key);
        if (found != MethodCache().end())
            return found->second;
    }
    jclass cls = JNIAccessor::FindClassCached(env, className);
    if (cls == nullptr)
        return nullptr;
    jmethodID id = isStatic ? env->GetStaticMethodID(cls, name, signature)
                            : env->GetMethodID(cls, name, signature);
    if (id == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(MethodCacheMutex());
    MethodCache().emplace(key, id);
    return id;
}

jobject CallObject(JNIQelAccessor& self, const char* className, const char* name,
                   const char* signature, ...) {
    jmethodID method = Prepare(self, className, name, signature);
    if (method == nullptr)
        return nullptr;
    va_list args;
    va_start(args, signature);
    jobject result = self.getEnv()->CallObjectMethodV(self.getObject(), method, args);
    va_end(args);
    if (self.checkException(true)) {
        if (result != nullptr)
            self.getEnv()->DeleteLocalRef(result);
        return nullptr;
    }
    return result;
}

std::string CallString(JNIQelAccessor& self, const char* className, const char* name,
                       const char* signature, ...) {
    jmethodID method = Prepare(self, className, name, signature);
    if (method == nullptr)
        return {};
    va_list args;
    va_start(args, signature);
    auto result =
        static_cast<jstring>(self.getEnv()->CallObjectMethodV(self.getObject(), method, args));
    va_end(args);
    if (self.checkException(true) || result == nullptr)
        return {};
    std::string text = qejni::JavaStringToUtf8(self.getEnv(), result);
    self.getEnv()->DeleteLocalRef(result);
    return text;
}

bool CallBoolean(JNIQelAccessor& self, const char* className, const char* name,
                 const char* signature, ...) {
    jmethodID method = Prepare(self, className, name, signature);
    if (method == nullptr)
        return false;
    va_list args;
    va_start(args, signature);
    jboolean result = self.getEnv()->CallBooleanMethodV(self.getObject(), method, args);
    va_end(args);
    if (self.checkException(true))
        return false;
    return result == JNI_TRUE;
}

void CallVoid(JNIQelAccessor& self, const char* className, const char* name, const char* signature,
              ...) {
    jmethodID method = Prepare(self, className, name, signature);
    if (method == nullptr)
        return;
    va_list args;
    va_start(args, signature);
    self.getEnv()->CallVoidMethodV(self.getObject(), method, args);
    va_end(args);
    self.checkException(true);
}

jobject CallStaticObject(JNIQelAccessor& self, const char* className, const char* name,
                         const char* signature, ...) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr)
        return nullptr;
    jmethodID method = Method(env, className, name, signature, true);
    jclass cls = JNIAccessor::FindClassCached(env, className);
    if (method == nullptr || cls == nullptr)
        return nullptr;
    va_list args;
    va_start(args, signature);
    jobject result = env->CallStaticObjectMethodV(cls, method, args);
    va_end(args);
    if (self.checkException(true)) {
        if (result != nullptr)
            env->DeleteLocalRef(result);
        return nullptr;
    }
    return result;
}

jobject NewInstance(JNIQelAccessor& self, const char* className, const char* signature, ...) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr)
        return nullptr;
    jmethodID constructor = Method(env, className, "<init>", signature);
    jclass cls = JNIAccessor::FindClassCached(env, className);
    if (constructor == nullptr || cls == nullptr)
        return nullptr;
    va_list args;
    va_start(args, signature);
    jobject result = env->NewObjectV(cls, constructor, args);
    va_end(args);
    if (self.checkException(true)) {
        if (result != nullptr)
            env->DeleteLocalRef(result);
        return nullptr;
    }
    return result;
}

void Adopt(JNIQelAccessor& wrapper, jobject local, const char* className, bool tracked) {
    wrapper.setClass(className);
    if (local == nullptr || wrapper.getEnv() == nullptr)
        return;
    if (tracked) {
        wrapper.setObjectG(local, true, true);
    } else {
        wrapper.setObject(wrapper.getEnv()->NewGlobalRef(local));
    }
    wrapper.getEnv()->DeleteLocalRef(local);
}

void ReleaseOwned(JNIQelAccessor& wrapper) {
    if (wrapper.getEnv() != nullptr && wrapper.getObject() != nullptr) {
        wrapper.getEnv()->DeleteGlobalRef(wrapper.getObject());
    }
    wrapper.setObject(nullptr);
}

jobjectArray NewStringArray(JNIQelAccessor& self, const std::vector<std::string>* items) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || items == nullptr)
        return nullptr;
    jclass stringClass = JNIAccessor::FindClassCached(env, "java/lang/String");
    jobjectArray array =
        env->NewObjectArray(static_cast<jsize>(items->size()), stringClass, nullptr);
    if (self.checkException(true) || array == nullptr)
        return nullptr;
    for (size_t i = 0; i < items->size(); ++i) {
        jstring s = qejni::NewJavaString(env, (*items)[i]);
        if (s == nullptr) {
            self.checkException(true);
            env->DeleteLocalRef(array);
            return nullptr;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), s);
        env->DeleteLocalRef(s);
    }
    return array;
}

jbooleanArray NewBooleanArray(JNIQelAccessor& self, const std::vector<bool>* items) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || items == nullptr)
        return nullptr;
    jbooleanArray array = env->NewBooleanArray(static_cast<jsize>(items->size()));
    if (self.checkException(true) || array == nullptr)
        return nullptr;
    std::vector<jboolean> values;
    values.reserve(items->size());
    for (bool b : *items)
        values.push_back(b ? JNI_TRUE : JNI_FALSE);
    if (!values.empty()) {
        env->SetBooleanArrayRegion(array, 0, static_cast<jsize>(values.size()), values.data());
    }
    return array;
}

jobject NewList(JNIQelAccessor& self, const std::vector<jobject>* items) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || items == nullptr)
        return nullptr;
    jobject list =
        NewInstance(self, "java/util/ArrayList", "(I)V", static_cast<jint>(items->size()));
    if (list == nullptr)
        return nullptr;
    jmethodID add = Method(env, "java/util/ArrayList", "add", "(Ljava/lang/Object;)Z");
    for (jobject item : *items) {
        env->CallBooleanMethod(list, add, item);
        if (self.checkException(true)) {
            env->DeleteLocalRef(list);
            return nullptr;
        }
    }
    return list;
}

jobjectArray NewObjectArray(JNIQelAccessor& self, const char* elementClass,
                            const std::vector<jobject>* items) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || items == nullptr)
        return nullptr;
    jclass cls = JNIAccessor::FindClassCached(env, elementClass);
    if (cls == nullptr)
        return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(items->size()), cls, nullptr);
    if (self.checkException(true) || array == nullptr)
        return nullptr;
    for (size_t i = 0; i < items->size(); ++i) {
        env->SetObjectArrayElement(array, static_cast<jsize>(i), (*items)[i]);
        if (self.checkException(true)) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

jobject NewMap(JNIQelAccessor& self, const std::map<std::string, jobject>* entries) {
    JNIEnv* env = self.getEnv();
    if (env == nullptr || entries == nullptr)
        return nullptr;
    jobject map =
        NewInstance(self, "java/util/HashMap", "(I)V", static_cast<jint>(entries->size()));
    if (map == nullptr)
        return nullptr;
    jmethodID put = Method(env, "java/util/HashMap", "put",
                           "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
    for (const auto& [key, value] : *entries) {
        if (value == nullptr)
            continue;
        jstring k = qejni::NewJavaString(env, key);
        if (k == nullptr) {
            self.checkException(true);
            env->DeleteLocalRef(map);
            return nullptr;
        }
        jobject previous = env->CallObjectMethod(map, put, k, value);
        env->DeleteLocalRef(k);
        if (previous != nullptr)
            env->DeleteLocalRef(previous);
        if (self.checkException(true)) {
            env->DeleteLocalRef(map);
            return nullptr;
        }
    }
    return map;
}

}  // namespace qeinteg::qeljni
