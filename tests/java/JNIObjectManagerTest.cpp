#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"
#include "qeinteg/platform/jvm/TavoJVM.h"

namespace {

// Counts destructions so tests can see when the manager deletes a wrapper.
class CountedWrapper : public JNIQelAccessor {
  public:
    explicit CountedWrapper(int* deaths) : deaths_(deaths) {}
    ~CountedWrapper() override { ++*deaths_; }

  private:
    int* deaths_;
};

TEST(JNIObjectManager, CleanJRefReleasesEverythingOnce) {
    JNIObjectManager* manager = JNIObjectManager::newManager();
    manager->cleanJRef();  // empty: nothing happens
    EXPECT_EQ(manager->trackedGlobalRefCount(), 0u);

    int deaths = 0;
    auto* wrapper = new CountedWrapper(&deaths);
    wrapper->newObject(7, true, true);
    manager->addtoCleanList(wrapper);
    manager->addtoCleanList(nullptr);
    EXPECT_EQ(manager->trackedGlobalRefCount(), 1u);
    EXPECT_EQ(manager->cleanListSize(), 1u);

    manager->cleanJRef();
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(manager->trackedGlobalRefCount(), 0u);
    manager->cleanJRef();  // a second clean-up deletes nothing twice
    EXPECT_EQ(deaths, 1);
}

TEST(JNIObjectManager, NewObjectBookkeepingForLocalAndGlobal) {
    JNIObjectManager* manager = JNIObjectManager::newManager();
    JNIEnv* env = manager->getEnv();
    ASSERT_EQ(env, qetest::MainEnv());
    JNIQelAccessor accessor;

    jobject local = accessor.newObject(5, false, true);
    EXPECT_EQ(accessor.localRefCount(), 1u);
    EXPECT_EQ(env->GetObjectRefType(local), JNILocalRefType);
    EXPECT_EQ(manager->trackedGlobalRefCount(), 0u);

    jobject global = accessor.newObject(5, true, true);
    EXPECT_EQ(accessor.localRefCount(), 2u);
    EXPECT_EQ(env->GetObjectRefType(global), JNIGlobalRefType);
    EXPECT_EQ(manager->trackedGlobalRefCount(), 1u);

    // Every boxed form makes an instance of the right class.
    const std::pair<jobject, const char*> values[] = {
        {accessor.newObject(1LL << 40, false, true), "java/lang/Long"},
        {accessor.newObject(2.5, false, true), "java/lang/Double"},
        {accessor.newObject(true, false, true), "java/lang/Boolean"},
        {accessor.newObject("text", false, true), "java/lang/String"},
        {accessor.newObject(std::string("text"), false, true), "java/lang/String"},
    };
    for (const auto& [value, className] : values) {
        ASSERT_NE(value, nullptr);
        jclass cls = env->FindClass(className);
        EXPECT_TRUE(env->IsInstanceOf(value, cls)) << className;
        env->DeleteLocalRef(cls);
    }
    manager->cleanJRef();
}

TEST(JNIObjectManager, UntrackedGlobalLeavesNoLocalBehind) {
    JNIObjectManager* manager = JNIObjectManager::newManager();
    JNIEnv* env = manager->getEnv();
    JNIQelAccessor accessor;
    // Without tracking, a million globals made and deleted must not pile up local references.
    ASSERT_EQ(env->PushLocalFrame(16), JNI_OK);
    for (int i = 0; i < 100000; ++i) {
        jobject global = accessor.newObject(i, true, false);
        ASSERT_NE(global, nullptr);
        env->DeleteGlobalRef(global);
    }
    env->PopLocalFrame(nullptr);
    EXPECT_EQ(accessor.localRefCount(), 0u);
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

TEST(JNIObjectManager, InitWrapsNewInstanceAndGetStringHandlesNull) {
    JNIObjectManager::newManager();
    JNIQelAccessor accessor;
    accessor.init("java/util/ArrayList", true);
    ASSERT_NE(accessor.getObject(), nullptr);
    EXPECT_EQ(accessor.getEnv()->GetObjectRefType(accessor.getObject()), JNIGlobalRefType);
    EXPECT_EQ(accessor.getString(nullptr), "");

    JNIQelAccessor missing;
    missing.init("no/such/Klass", false);
    EXPECT_EQ(missing.getObject(), nullptr);
    EXPECT_FALSE(missing.getLastFailure().empty());
    JNIObjectManager::getManager()->cleanJRef();
}

TEST(JNIObjectManager, NewManagerReleasesTheOldOnesWrappers) {
    int deaths = 0;
    JNIObjectManager::newManager()->addtoCleanList(new CountedWrapper(&deaths));
    JNIObjectManager* fresh = JNIObjectManager::newManager();
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(JNIObjectManager::getManager(), fresh);
    JNIObjectManager::releaseManager();
    EXPECT_NE(JNIObjectManager::getManager(), nullptr);  // made again on demand
}

TEST(ScopedThreadAttach, DetachesOnlyThreadsItAttached) {
    // The main thread is attached: it stays attached afterwards.
    {
        qeinteg::jni::ScopedThreadAttach attach;
        EXPECT_FALSE(attach.attachedHere());
        EXPECT_EQ(attach.env(), qetest::MainEnv());
    }
    EXPECT_NE(TavoJVM::GetInstance().GetEnvIfAttached(), nullptr);

    // A fresh thread is attached for the scope and detached after it.
    bool attachedInside = false, attachedAfter = true, wasHere = false;
    std::thread worker([&] {
        {
            qeinteg::jni::ScopedThreadAttach attach;
            wasHere = attach.attachedHere();
            attachedInside = TavoJVM::GetInstance().GetEnvIfAttached() != nullptr;
        }
        attachedAfter = TavoJVM::GetInstance().GetEnvIfAttached() != nullptr;
    });
    worker.join();
    EXPECT_TRUE(wasHere);
    EXPECT_TRUE(attachedInside);
    EXPECT_FALSE(attachedAfter);

    // A thread attached before the scope stays attached.
    bool stillAttached = false;
    std::thread preattached([&] {
        JNIEnv* env = nullptr;
        TavoJVM::GetInstance().AttachCurrentThread(&env);
        { qeinteg::jni::ScopedThreadAttach attach; }
        stillAttached = TavoJVM::GetInstance().GetEnvIfAttached() != nullptr;
        TavoJVM::GetInstance().DetachCurrentThread();
    });
    preattached.join();
    EXPECT_TRUE(stillAttached);
}

TEST(JvmClassPath, ProjectJarIsLoadable) {
    JNIEnv* env = qetest::MainEnv();
    jclass cls = env->FindClass("com/tavo/ae/qelhelpers/QelHelpersInfo");
    ASSERT_NE(cls, nullptr);
    jmethodID version = env->GetStaticMethodID(cls, "version", "()Ljava/lang/String;");
    auto text = static_cast<jstring>(env->CallStaticObjectMethod(cls, version));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(qejni::JavaStringToUtf8(env, text), "qelhelpers-local-1");
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(cls);
    jclass jackson = env->FindClass("com/fasterxml/jackson/core/JsonFactory");
    EXPECT_NE(jackson, nullptr);
    env->DeleteLocalRef(jackson);
}

TEST(JvmClassPath, ArchiveIsMappedWithoutRelocationOnlyWhenUsed) {
    // Without an archive no archive option at all: a lone relocation mode would be an error the
    // VM refuses to start with (diagnostic option not unlocked) or would change the JDK's own.
    EXPECT_TRUE(TavoJVM::ArchiveOptions("").empty());
    const std::vector<std::string> options = TavoJVM::ArchiveOptions("/x/a.jsa");
    const std::vector<std::string> expected = {"-XX:SharedArchiveFile=/x/a.jsa",
                                               "-XX:+UnlockDiagnosticVMOptions",
                                               "-XX:ArchiveRelocationMode=0"};
    EXPECT_EQ(options, expected);  // the unlock must precede the diagnostic option
}

TEST(JvmClassPath, OnlyAnArchiveMadeForTheseJarsIsMapped) {
    // The build's archive is taken with the default class path; a stale one never is, since the
    // VM would then share nothing at all.
    if (std::getenv("QEINTEG_CLASSPATH") == nullptr) {
        const std::string archive = TavoJVM::GetInstance().ClassArchive();
        EXPECT_TRUE(archive.ends_with("/qeinteg-java.jsa")) << archive;
    }
    namespace fs = std::filesystem;
    const std::string dir = qetest::TestDir();
    const std::string jar = dir + "/a.jar";
    const std::string other = dir + "/b.jar";
    const std::string classPath = jar + ":" + other;
    qetest::WriteFile(jar, "jar");
    qetest::WriteFile(other, "jar");
    qetest::WriteFile(dir + "/a.jsa", "archive");
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, classPath), "");  // no record of its class path
    qetest::WriteFile(dir + "/a.jsa.classpath", classPath);
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(jar, now - std::chrono::hours(1));
    fs::last_write_time(other, now - std::chrono::hours(1));
    fs::last_write_time(dir + "/a.jsa", now);
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, classPath), dir + "/a.jsa");
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, jar), "");              // made for other jars
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, classPath + ":"), "");  // not exactly these
    fs::last_write_time(other, now + std::chrono::hours(1));        // a jar rebuilt since
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, classPath), "");
    fs::last_write_time(other, now - std::chrono::hours(1));
    fs::remove(dir + "/a.jsa");
    EXPECT_EQ(TavoJVM::ClassArchiveFor(jar, classPath), "");
}

}  // namespace
