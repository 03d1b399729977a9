// Shared main of every test program: starts the JVM once with -Xcheck:jni, gives each test a fresh
// temporary root for the host stand-in, and fails the run when the VM printed a JNI warning.
#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/platform/jvm/TavoJVM.h"

namespace {

std::atomic<int> g_jvmWarnings{0};
JNIEnv* g_mainEnv = nullptr;
std::string g_processRoot;
std::string g_testDir;

jint JNICALL CountingHook(FILE* stream, const char* format, va_list args) {
    char buffer[4096];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    // -Xcheck:jni also checks that nothing replaced the VM's signal handlers.
    if (std::strstr(buffer, "WARNING") != nullptr ||
        std::strstr(buffer, "FATAL ERROR") != nullptr ||
        std::strstr(buffer, "handler modified") != nullptr) {
        ++g_jvmWarnings;
    }
    std::fputs(buffer, stream == stdout ? stderr : stream);
    return n;
}

class FreshDirPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        std::string name = std::string(info.test_suite_name()) + "." + info.name();
        for (char& c : name) {
            if (c == '/')
                c = '_';
        }
        g_testDir = g_processRoot + "/" + name;
        std::filesystem::remove_all(g_testDir);
        std::filesystem::create_directories(g_testDir + "/host-temp");
        qehost::testing::ResetForTest(g_testDir + "/host-temp");
    }
};

}  // namespace

namespace qetest {
JNIEnv* MainEnv() {
    return g_mainEnv;
}
const std::string& TestDir() {
    return g_testDir;
}
int JvmWarningCount() {
    return g_jvmWarnings.load();
}
}  // namespace qetest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);

    char root[] = "/tmp/qeinteg-test-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    g_processRoot = root;

    TavoJVM& jvm = TavoJVM::GetInstance();
    jvm.AddStartOption("-Xcheck:jni");
    jvm.SetOutputHook(&CountingHook);
    g_mainEnv = qeinteg::jni::AttachCurrentThread();
    if (g_mainEnv == nullptr) {
        std::fprintf(stderr, "could not start the JVM (class path %s)\n", jvm.ClassPath().c_str());
        return 2;
    }

    testing::UnitTest::GetInstance()->listeners().Append(new FreshDirPerTest());
    int result = RUN_ALL_TESTS();

    if (g_jvmWarnings.load() > 0) {
        std::fprintf(stderr, "FAILED: the JVM printed %d warning(s); see the output above\n",
                     g_jvmWarnings.load());
        result = 1;
    }
    if (std::getenv("QEINTEG_KEEP_TEST_DIRS") == nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(g_processRoot, ignored);
    }
    return result;
}
