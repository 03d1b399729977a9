#include "qeinteg/platform/jvm/JNIAccessor.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>

#include "qeinteg/platform/jvm/JavaStrings.h"

namespace {

std::mutex& ClassCacheMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_map<std::string, jclass>& ClassCache() {
    static auto* cache = new std::unordered_map<std::string, jclass>();
    return *cache;
}

// The text of a throwable: its toString(), which names the class and carries the message.
std::string DescribeThrowable(JNIEnv* env, jthrowable exception) {
    jclass throwableClass = env->FindClass("java/lang/Throwable");
    if (throwableClass == nullptr) {
        env->ExceptionClear();
        return "Java exception";
    }
    jmethodID getMessage = env->GetMethodID(throwableClass, "getMessage", "()Ljava/lang/String;");
    jmethodID toString = env->GetMethodID(throwableClass, "toString", "()Ljava/lang/String;");
    env->DeleteLocalRef(throwableClass);
    std::string text;
    auto message = static_cast<jstring>(env->CallObjectMethod(exception, getMessage));
    if (env->ExceptionCheck())
        env->ExceptionClear();
    if (message != nullptr) {
        text = qejni::JavaStringToUtf8(env, message);
        env->DeleteLocalRef(message);
    }
    if (text.empty()) {
        auto described = static_cast<jstring>(env->CallObjectMethod(exception, toString));
        if (env->ExceptionCheck())
            env->ExceptionClear();
        if (described != nullptr) {
            text = qejni::JavaStringToUtf8(env, described);
            env->DeleteLocalRef(described);
        }
    }
    return text.empty() ? std::string("Java exception") : text;
}

}  // namespace

jclass JNIAccessor::FindClassCached(JNIEnv* env, const char* className) {
    if (env == nullptr || className == nullptr)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(ClassCacheMutex());
        auto found = ClassCache().find(className);
        if (found != ClassCache().end())
            return found->second;
    }
    jclass local = env->FindClass(className);
    if (local == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    std::lock_guard<std::mutex> lock(ClassCacheMutex());
    auto [it, inserted] = ClassCache().emplace(className, global);
    if (!inserted)
        env->DeleteGlobalRef(global);  // another thread got there first
    return it->second;
}

bool JNIAccessor::setClass(const char* className) {
    class_ = FindClassCached(env_, className);
    method_ = nullptr;
    if (class_ == nullptr) {
        lastFailure_ = std::string("Java class not found: ") + (className ? className : "(null)");
        return false;
    }
    return true;
}

bool JNIAccessor::setClassOf(jobject object) {
    if (env_ == nullptr || object == nullptr)
        return false;
    jclass local = env_->GetObjectClass(object);
    jclass classClass = FindClassCached(env_, "java/lang/Class");
    jmethodID getName = env_->GetMethodID(classClass, "getName", "()Ljava/lang/String;");
    auto name = static_cast<jstring>(env_->CallObjectMethod(local, getName));
    env_->DeleteLocalRef(local);
    if (checkException())
        return false;
    std::string binaryName = qejni::JavaStringToUtf8(env_, name);
    env_->DeleteLocalRef(name);
    for (char& c : binaryName) {
        if (c == '.')
            c = '/';
    }
    return setClass(binaryName.c_str());
}

bool JNIAccessor::setMethod(const char* name, const char* signature) {
    method_ = nullptr;
    if (env_ == nullptr || class_ == nullptr)
        return false;
    method_ = env_->GetMethodID(class_, name, signature);
    if (method_ == nullptr) {
        checkException();
        lastFailure_ = std::string("Java method not found: ") + name + signature;
        return false;
    }
    return true;
}

bool JNIAccessor::handleException(bool report, jthrowable exception) {
    if (exception == nullptr || env_ == nullptr)
        return false;
    env_->ExceptionClear();
    lastFailure_ = DescribeThrowable(env_, exception);
    env_->DeleteLocalRef(exception);
    if (report)
        std::fprintf(stderr, "Java exception: %s\n", lastFailure_.c_str());
    return true;
}

bool JNIAccessor::checkException(bool report) {
    if (env_ == nullptr || !env_->ExceptionCheck())
        return false;
    return handleException(report, env_->ExceptionOccurred());
}
