// A wrong or missing jar must fail at start with a message naming what is missing, never later
// as "nothing happens".
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Refs.h"

namespace {

using qeinteg::jni::ClassRef;
using qeinteg::jni::Method;
using qeinteg::jni::Resolver;
using qeinteg::jni::StaticMethod;

struct ProbeResult {
    int status = -1;
    std::string output;
};

// Runs the start probe with the given environment assignments ("NAME=value ...").
ProbeResult RunProbe(const std::string& environment) {
    const std::string command = "env " + environment + " " + JNI_START_PROBE + " 2>/dev/null";
    ProbeResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr)
        result.output += buffer.data();
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

TEST(JniStart, MissingJarFailsAtStartNamingTheClass) {
    // The control: with the build's class path everything resolves and the object is made.
    const ProbeResult good = RunProbe("QEINTEG_JVM_OPTIONS=-Xcheck:jni");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_EQ(good.output, "{\"a\":1}\n");

    // Without the engine's jar: the start names the first class it could not find, the trace log
    // has it, and the wrapper reports it instead of doing nothing.
    const std::string traceRoot = qetest::TestDir() + "/trace";
    std::filesystem::create_directories(traceRoot);
    const ProbeResult missing = RunProbe(std::string("QEINTEG_CLASSPATH=") + JACKSON_CORE_JAR +
                                         " QE_STAT_DEBUG_DIR=" + traceRoot);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("Java class not found: com/keld/json/java/JSONObject"),
              std::string::npos)
        << missing.output;
    std::string log;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(traceRoot)) {
        if (entry.path().filename() == "qeinteg.log")
            log += qetest::ReadFile(entry.path().string());
    }
    EXPECT_NE(log.find("Java start failed: Java class not found: com/keld/json/java/JSONObject"),
              std::string::npos)
        << log;
}

TEST(JniStart, ResolverNamesTheFirstMissingClassOrMember) {
    JNIEnv* env = qetest::MainEnv();
    {
        Resolver r(env);
        ClassRef missing, string;
        EXPECT_FALSE(r.cls(missing, "no/such/Klass"));
        // Later lookups are skipped: the message stays the first failure's.
        EXPECT_FALSE(r.cls(string, "java/lang/String"));
        EXPECT_EQ(r.error(), "Java class not found: no/such/Klass");
        EXPECT_FALSE(env->ExceptionCheck());
    }
    {
        Resolver r(env);
        ClassRef string;
        Method<jint()> length, missing;
        ASSERT_TRUE(r.cls(string, "java/lang/String"));
        EXPECT_TRUE(r.method(length, string, "length", "()I"));
        EXPECT_TRUE(length.resolved());
        EXPECT_FALSE(r.method(missing, string, "lengthOf", "()I"));
        EXPECT_FALSE(missing.resolved());
        EXPECT_EQ(r.error(), "Java method not found: java/lang/String.lengthOf()I");
        EXPECT_FALSE(env->ExceptionCheck());
    }
    {
        // A member whose name exists but whose signature differs is missing too, and a static
        // method is not found as an instance method.
        Resolver r(env);
        ClassRef integer;
        StaticMethod<jint(jstring)> parse;
        ASSERT_TRUE(r.cls(integer, "java/lang/Integer"));
        EXPECT_FALSE(r.staticMethod(parse, integer, "parseInt", "(Ljava/lang/String;)J"));
        EXPECT_EQ(r.error(),
                  "Java static method not found: java/lang/Integer.parseInt(Ljava/lang/String;)J");
        Resolver instance(env);
        Method<jint(jstring)> asInstance;
        EXPECT_FALSE(instance.method(asInstance, integer, "parseInt", "(Ljava/lang/String;)I"));
        EXPECT_FALSE(env->ExceptionCheck());
    }
    // The library's own bindings all resolve against the build's jar.
    std::string error;
    EXPECT_NE(qeinteg::jni::Classes::Resolve(env, &error), nullptr) << error;
    EXPECT_TRUE(qeinteg::jni::Classes::StartFailure().empty());
}

}  // namespace
