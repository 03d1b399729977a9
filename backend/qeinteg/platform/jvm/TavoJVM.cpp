#include "qeinteg/platform/jvm/TavoJVM.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

// The build defines where the engine's jar lies relative to the directory of this library (the
// build tree mirrors the installed layout) and where the system keeps jackson-core.
#if !defined(QEINTEG_JAR_FROM_LIBDIR) || !defined(QEINTEG_JACKSON_CORE_JAR)
#error "QEINTEG_JAR_FROM_LIBDIR and QEINTEG_JACKSON_CORE_JAR must be defined by the build"
#endif

namespace {

// The jar beside the library this code was loaded from. Asking the loader keeps an installed
// library independent of the tree it was built in, and a relocated one working where it lies.
std::string JarBesideLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&TavoJVM::GetInstance), &info) == 0 ||
        info.dli_fname == nullptr) {
        return QEINTEG_JAR_FROM_LIBDIR;
    }
    const std::filesystem::path jar =
        std::filesystem::path(info.dli_fname).parent_path() / QEINTEG_JAR_FROM_LIBDIR;
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(jar, error);
    return error ? jar.string() : resolved.string();
}

// The VM's own prints (-Xcheck:jni findings, signal-handler checks) go to standard error: standard
// output belongs to the program, whose callers may parse it (e.g. the command line's --json).
jint JNICALL PrintToStandardError(FILE* /*stream*/, const char* format, va_list args) {
    return std::vfprintf(stderr, format, args);
}

}  // namespace

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

std::string TavoJVM::ClassArchiveFor(const std::string& jar, const std::string& classPath) {
    namespace fs = std::filesystem;
    fs::path archive = jar;
    archive.replace_extension(".jsa");
    std::ifstream stamp(archive.string() + ".classpath", std::ios::binary);
    const std::string madeFor{std::istreambuf_iterator<char>(stamp),
                              std::istreambuf_iterator<char>()};
    if (madeFor != classPath)
        return {};
    std::error_code error;
    const auto archiveTime = fs::last_write_time(archive, error);
    if (error)
        return {};
    std::istringstream entries(classPath);
    std::string entry;
    while (std::getline(entries, entry, ':')) {
        const auto jarTime = fs::last_write_time(entry, error);
        if (error || jarTime > archiveTime)
            return {};
    }
    return archive.string();
}

std::vector<std::string> TavoJVM::ArchiveOptions(const std::string& archive) {
    if (archive.empty())
        return {};
    // The VM maps the archive at another address than the one it was written for by default,
    // then relocates every pointer in it (about a quarter of its start). Mapping at the written
    // address skips that; where the address is taken the VM still falls back to relocating.
    return {"-XX:SharedArchiveFile=" + archive, "-XX:+UnlockDiagnosticVMOptions",
            "-XX:ArchiveRelocationMode=0"};
}

std::string TavoJVM::ClassArchive() const {
    const char* fromEnv = std::getenv("QEINTEG_CLASSPATH");
    if (fromEnv != nullptr && *fromEnv != '\0')
        return {};
    return ClassArchiveFor(JarBesideLibrary(), ClassPath());
}

std::string TavoJVM::ClassPath() const {
    const char* fromEnv = std::getenv("QEINTEG_CLASSPATH");
    if (fromEnv != nullptr && *fromEnv != '\0')
        return fromEnv;
    return JarBesideLibrary() + ":" + QEINTEG_JACKSON_CORE_JAR;
}

std::vector<std::string> TavoJVM::StartOptions() const {
    std::vector<std::string> options;
    options.push_back("-Djava.class.path=" + ClassPath());
    // Before the caller's options, so that their -Xshare or archive of their own wins.
    for (std::string& option : ArchiveOptions(ClassArchive()))
        options.push_back(std::move(option));
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
            OutputHook hook = hook_ != nullptr ? hook_ : &PrintToStandardError;
            options.push_back({const_cast<char*>("vfprintf"), reinterpret_cast<void*>(hook)});
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
