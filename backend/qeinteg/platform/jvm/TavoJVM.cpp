#include "qeinteg/platform/jvm/TavoJVM.h"

#include <cstdlib>
#include <sstream>

#ifndef QEINTEG_DEFAULT_CLASSPATH
#define QEINTEG_DEFAULT_CLASSPATH ""
#endif

TavoJVM& TavoJVM::GetInstance() {
    static TavoJVM* instance = new TavoJVM();  // the VM cannot be unloaded, so neither is this
    return *instance;
}

bool TavoJVM::IsStarted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vm_ != nullptr;
}

bool TavoJVM::WaitForStartedJVM() {
    // A start in progress holds the mutex until the VM exists or has failed.
    return IsStarted();
}

std::string TavoJVM::ClassPath() const {
    const char* fromEnv = std::getenv("QEINTEG_CLASSPATH");
    if (fromEnv != nullptr && *fromEnv != '\0')
        return fromEnv;
    return QEINTEG_DEFAULT_CLASSPATH;
}

std::vector<std::string> TavoJVM::StartOptions() const {
    std::vector<std::string> options;
    options.push_back("-Djava.class.path=" + ClassPath());
    // The host owns the process signals (SIGINT, SIGTERM, ...); the VM must not take them.
    options.push_back("-Xrs");
    if (const char* extra = std::getenv("QEINTEG_JVM_OPTIONS")) {
        std::istringstream words(extra);
        std::string word;
        while (words >> word)
            options.push_back(word);
    }
    for (const std::string& option : extraOptions_)
        options.push_back(option);
    return options;
}

bool TavoJVM::StartJVMAndAttachThread(JNIEnv** env) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (vm_ == nullptr) {
            std::vector<std::string> texts = StartOptions();
            std::vector<JavaVMOption> options;
            for (std::string& text : texts)
                options.push_back({text.data(), nullptr});
            if (hook_ != nullptr) {
                options.push_back({const_cast<char*>("vfprintf"), reinterpret_cast<void*>(hook_)});
            }
            JavaVMInitArgs args{};
            args.version = JNI_VERSION_10;
            args.nOptions = static_cast<jint>(options.size());
            args.options = options.data();
            args.ignoreUnrecognized = JNI_FALSE;
            JavaVM* vm = nullptr;
            JNIEnv* created = nullptr;
            if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&created), &args) != JNI_OK) {
                return false;
            }
            vm_ = vm;
            if (env != nullptr)
                *env = created;
            return true;
        }
    }
    return AttachCurrentThread(env);
}

bool TavoJVM::AttachCurrentThread(JNIEnv** env) {
    JavaVM* vm = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        vm = vm_;
    }
    if (vm == nullptr)
        return false;
    JNIEnv* attached = nullptr;
    if (vm->AttachCurrentThread(reinterpret_cast<void**>(&attached), nullptr) != JNI_OK) {
        return false;
    }
    if (env != nullptr)
        *env = attached;
    return true;
}

void TavoJVM::DetachCurrentThread() {
    JavaVM* vm = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        vm = vm_;
    }
    if (vm != nullptr)
        vm->DetachCurrentThread();
}

JNIEnv* TavoJVM::GetEnvIfAttached() const {
    JavaVM* vm = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        vm = vm_;
    }
    if (vm == nullptr)
        return nullptr;
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) != JNI_OK)
        return nullptr;
    return env;
}

void TavoJVM::AddStartOption(const std::string& option) {
    std::lock_guard<std::mutex> lock(mutex_);
    extraOptions_.push_back(option);
}

void TavoJVM::SetOutputHook(OutputHook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = hook;
}
