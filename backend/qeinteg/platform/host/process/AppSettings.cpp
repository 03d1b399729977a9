#include "qeinteg/platform/host/process/AppSettings.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "qeinteg/platform/host/testing/AppSettingsTesting.h"
#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

// The component directory: $QEHOST_CF_PATH when set; else, for an installed host, share/qeinteg/cf/
// beside the library's lib directory when it holds the scoring module; else the build tree's copy.
std::string DefaultCFPath() {
    const char* env = std::getenv("QEHOST_CF_PATH");
    std::string path;
    if (env != nullptr && *env != '\0') {
        path = env;
    } else {
        path = QEHOST_DEFAULT_CF_PATH;
        Dl_info info;
        if (dladdr(reinterpret_cast<void*>(&DefaultCFPath), &info) != 0 &&
            info.dli_fname != nullptr) {
            const std::filesystem::path lib = std::filesystem::path(info.dli_fname).parent_path();
            for (const char* up : {"..", "../.."}) {
                const std::filesystem::path cf = lib / up / "share/qeinteg/cf";
                std::error_code ec;
                if (std::filesystem::is_regular_file(cf / "lib/tavo.scoring.9/module.xml", ec)) {
                    path = cf.lexically_normal().string();
                    break;
                }
            }
        }
    }
    if (path.back() != '/')
        path += '/';
    return path;
}

struct Settings {
    std::mutex mutex;
    bool available = true;
    std::string locale = "en_US";
    std::string tempFolder = "/tmp";
    int threads = 2;
    std::string installDir = "/tmp/install";
    std::string userDir = "/tmp/user";
    std::string cfPath = DefaultCFPath();
    int updates = 0;
    int initializeCalls = 0;
    void* lastCallback = nullptr;
};

Settings& State() {
    static auto* settings = new Settings();
    return *settings;
}

// What createCFHostingCalbck hands out: an object whose address identifies the host.
struct HostingCallbackObject {
    int tag = 0;
};
HostingCallbackObject g_hostingCallback;

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

const bool kRegistered = qehost::testing::RegisterResetHook([](const std::string& tempRoot) {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::string root = WithoutTrailingSlash(tempRoot);
    s.available = true;
    s.locale = "en_US";
    s.tempFolder = root;
    s.threads = 2;
    s.installDir = root + "/install";
    s.userDir = root + "/user";
    s.cfPath = root + "/cf/";
    s.updates = 0;
    s.initializeCalls = 0;
    s.lastCallback = nullptr;
});

}  // namespace

struct CFAppHostAccess {
    static CFAppHost* Instance() {
        static auto* instance = new CFAppHost();
        return instance;
    }
};

void CFAppHost::update() {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.updates;
}

CFAppHost* CFAppHost::getInstance() {
    {
        Settings& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.available)
            return nullptr;
    }
    return CFAppHostAccess::Instance();
}

std::string CFAppHost::getLocale() const {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.locale;
}

std::string CFAppHost::getTempFolder() const {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.tempFolder;
}

int CFAppHost::getMaxCompThreads() const {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.threads;
}

void* CFAppHost::createCFHostingCalbck() {
    return &g_hostingCallback;
}

void CFEntry::initialize(void* hostingCallback) {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.initializeCalls;
    s.lastCallback = hostingCallback;
}

std::string HostPathFinder::GetUserDirectory() const {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.userDir;
}

std::string HostPathFinder::GetInstallDirectory() const {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.installDir;
}

HostPathFinder* PathFactory::getPathInstance() {
    static auto* finder = new HostPathFinder();
    return finder;
}

std::string ExtensionFinder::GetCFPath() {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.cfPath;
}

namespace qehost::testing {

#define QEHOST_SETTER(Name, Type, field)           \
    void Name(Type value) {                        \
        Settings& s = State();                     \
        std::lock_guard<std::mutex> lock(s.mutex); \
        s.field = value;                           \
    }

QEHOST_SETTER(SetAppHostAvailable, bool, available)
QEHOST_SETTER(SetLocale, const std::string&, locale)
QEHOST_SETTER(SetTempFolder, const std::string&, tempFolder)
QEHOST_SETTER(SetMaxCompThreads, int, threads)
QEHOST_SETTER(SetInstallDirectory, const std::string&, installDir)
QEHOST_SETTER(SetUserDirectory, const std::string&, userDir)
QEHOST_SETTER(SetCFPath, const std::string&, cfPath)
#undef QEHOST_SETTER

int AppHostUpdateCount() {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.updates;
}

int CFEntryInitializeCount() {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.initializeCalls;
}

void* LastCFEntryCallback() {
    Settings& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.lastCallback;
}

void* HostingCallback() {
    return &g_hostingCallback;
}

}  // namespace qehost::testing
