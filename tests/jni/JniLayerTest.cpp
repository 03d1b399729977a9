// The binding layer's promises: a throwing call leaves nothing pending and exactly one record,
// walking a collection of any length keeps the local reference table flat, and a global reference
// can be released from any thread.
#include <gtest/gtest.h>

#include <thread>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/java/jni/Failure.h"
#include "qeinteg/java/jni/Method.h"
#include "qeinteg/java/jni/Refs.h"
#include "qeinteg/platform/jvm/TavoJVM.h"

namespace {

using qeinteg::jni::Classes;
using qeinteg::jni::ClassRef;
using qeinteg::jni::GlobalRef;
using qeinteg::jni::LocalFrame;
using qeinteg::jni::LocalRef;
using qeinteg::jni::Method;
using qeinteg::jni::RecordingCaller;
using qeinteg::jni::Resolver;
using qeinteg::jni::StaticMethod;

const Classes& Bindings() {
    std::string error;
    const Classes* classes = Classes::Resolve(qetest::MainEnv(), &error);
    EXPECT_NE(classes, nullptr) << error;
    return *classes;
}

TEST(JniFailure, ThrowingCallLeavesNothingPendingAndOneRecord) {
    JNIEnv* env = qetest::MainEnv();
    Bindings();
    Resolver r(env);
    ClassRef integer;
    StaticMethod<jint(jstring)> parseInt;
    ASSERT_TRUE(r.cls(integer, "java/lang/Integer"));
    ASSERT_TRUE(r.staticMethod(parseInt, integer, "parseInt", "(Ljava/lang/String;)I"));

    RecordingCaller caller(env);
    LocalRef<jstring> good = qeinteg::jni::NewString(caller, "42");
    LocalRef<jstring> bad = qeinteg::jni::NewString(caller, "forty-two");
    EXPECT_EQ(parseInt(caller, good.get()), 42);
    EXPECT_TRUE(caller.failures().empty());

    const auto reportedBefore = qeinteg::jni::ReportedFailureCount();
    EXPECT_EQ(parseInt(caller, bad.get()), 0);
    EXPECT_FALSE(env->ExceptionCheck());
    ASSERT_EQ(caller.failures().size(), 1u);
    EXPECT_EQ(qeinteg::jni::ReportedFailureCount(), reportedBefore + 1);
    const qeinteg::jni::Failure& failure = caller.failures().front();
    EXPECT_EQ(failure.javaClass, "java/lang/Integer");
    EXPECT_EQ(failure.method, "parseInt");
    EXPECT_EQ(failure.signature, "(Ljava/lang/String;)I");
    EXPECT_EQ(failure.exceptionClass, "java.lang.NumberFormatException");
    EXPECT_NE(failure.message.find("forty-two"), std::string::npos) << failure.message;
    EXPECT_NE(failure.trace.find("parseInt"), std::string::npos) << failure.trace;
    EXPECT_EQ(failure.describe().rfind("java/lang/Integer.parseInt(Ljava/lang/String;)I: "
                                       "java.lang.NumberFormatException: ",
                                       0),
              0u)
        << failure.describe();

    // A call on no object makes no JNI call at all: one record of our own, nothing pending.
    Method<jint()> length;
    Resolver strings(env);
    ClassRef string;
    ASSERT_TRUE(strings.cls(string, "java/lang/String"));
    ASSERT_TRUE(strings.method(length, string, "length", "()I"));
    EXPECT_EQ(length(caller, nullptr), 0);
    EXPECT_EQ(length(caller, good.get()), 2);
    ASSERT_EQ(caller.failures().size(), 2u);
    EXPECT_EQ(caller.failures().back().message, "no Java object to call");
    EXPECT_TRUE(caller.failures().back().exceptionClass.empty());
    // So does a handle that was never resolved.
    Method<jint()> unresolved;
    EXPECT_EQ(unresolved(caller, good.get()), 0);
    EXPECT_EQ(caller.failures().size(), 3u);
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST(JniFailure, WrapperKeepsTheWholeRecordOfItsLastFailure) {
    JNIJSONObject broken("{\"a\": [1, 2,]}");
    ASSERT_FALSE(broken.isGood());
    EXPECT_FALSE(qetest::MainEnv()->ExceptionCheck());
    const qeinteg::jni::Failure* record = broken.getLastFailureRecord();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->javaClass, "com/keld/json/java/JSONObject");
    EXPECT_EQ(record->method, "parse");
    EXPECT_FALSE(record->exceptionClass.empty());
    EXPECT_FALSE(record->trace.empty());
    EXPECT_EQ(broken.getLastFailure(), record->message);
    EXPECT_EQ(broken.getParserError(), record->message);
    broken.clearLastFailure();
    EXPECT_EQ(broken.getLastFailureRecord(), nullptr);
    EXPECT_EQ(broken.getLastFailure(), "");
}

TEST(JniCollections, ForEachOverAMillionElementsKeepsTheLocalTableFlat) {
    constexpr jint kCount = 1000000;
    JNIEnv* env = qetest::MainEnv();
    const Classes& c = Bindings();
    RecordingCaller caller(env);
    const int warningsBefore = qetest::JvmWarningCount();

    // Everything below runs in a frame of 16 references: with -Xcheck:jni the VM warns (and the
    // test main fails the run) as soon as more are live, so a walk that kept one reference per
    // element would be caught long before the end.
    LocalFrame frame(env, 16);
    ASSERT_TRUE(frame.ok());
    LocalRef<jobject> list = c.collection.newArrayList(caller, kCount);
    ASSERT_TRUE(list);
    for (jint i = 0; i < kCount; ++i) {
        LocalRef<jobject> boxed = c.box.newInteger(caller, i);
        c.collection.listAdd(caller, list.get(), boxed.get());
    }

    long long sum = 0;
    jint visited = 0;
    EXPECT_TRUE(qeinteg::jni::ForEach(caller, list.get(), [&](jobject element) {
        sum += c.box.intValue(caller, element);
        ++visited;
    }));
    EXPECT_EQ(visited, kCount);
    EXPECT_EQ(sum, static_cast<long long>(kCount) * (kCount - 1) / 2);

    // The walk stops where the callback says so.
    visited = 0;
    EXPECT_TRUE(qeinteg::jni::ForEach(caller, list.get(), [&](jobject) { return ++visited < 10; }));
    EXPECT_EQ(visited, 10);

    // A walk over something that is not iterable is one failure, not a crash.
    LocalRef<jobject> notIterable = c.box.newInteger(caller, 1);
    EXPECT_FALSE(qeinteg::jni::ForEach(caller, notIterable.get(), [](jobject) {}));
    EXPECT_EQ(caller.failures().size(), 1u);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(qetest::JvmWarningCount(), warningsBefore);
}

TEST(JniCollections, BuildersKeepOrderAndSkipNullMapValues) {
    JNIEnv* env = qetest::MainEnv();
    const Classes& c = Bindings();
    RecordingCaller caller(env);
    LocalFrame frame(env, 32);
    LocalRef<jobjectArray> texts =
        qeinteg::jni::NewStringArray(caller, {"a", "\xF0\x9F\x98\x80", ""});
    ASSERT_TRUE(texts);
    ASSERT_EQ(env->GetArrayLength(texts.get()), 3);
    LocalRef<jobject> second(env, env->GetObjectArrayElement(texts.get(), 1));
    EXPECT_EQ(qeinteg::jni::ToUtf8(env, second.get()), "\xF0\x9F\x98\x80");

    LocalRef<jobject> one = c.box.newInteger(caller, 1);
    LocalRef<jobject> list = qeinteg::jni::NewList(caller, {one.get(), nullptr, one.get()});
    std::vector<bool> nulls;
    qeinteg::jni::ForEach(caller, list.get(), [&](jobject e) { nulls.push_back(e == nullptr); });
    EXPECT_EQ(nulls, (std::vector<bool>{false, true, false}));

    LocalRef<jobject> map =
        qeinteg::jni::NewMap(caller, {{"kept", one.get()}, {"dropped", nullptr}});
    Resolver r(env);
    ClassRef hashMap;
    Method<jint()> size;
    ASSERT_TRUE(r.cls(hashMap, "java/util/HashMap"));
    ASSERT_TRUE(r.method(size, hashMap, "size", "()I"));
    EXPECT_EQ(size(caller, map.get()), 1);
    EXPECT_TRUE(caller.failures().empty());
}

TEST(JniRefs, GlobalRefReleasedOnAnotherThread) {
    JNIEnv* env = qetest::MainEnv();
    const Classes& c = Bindings();
    RecordingCaller caller(env);
    Resolver r(env);
    ClassRef system;
    StaticMethod<void()> gc;
    ASSERT_TRUE(r.cls(system, "java/lang/System"));
    ASSERT_TRUE(r.staticMethod(gc, system, "gc", "()V"));

    // An object reachable only through the global reference, watched by a weak one.
    GlobalRef global;
    jweak watcher = nullptr;
    {
        LocalRef<jobject> object = c.collection.newArrayList(caller, 1);
        ASSERT_TRUE(object);
        global = GlobalRef(env, object.get());
        watcher = env->NewWeakGlobalRef(object.get());
    }
    ASSERT_NE(watcher, nullptr);

    // Released on a thread the VM has never seen: attached for the release, detached after.
    bool attachedAfter = true;
    std::thread worker([&, owned = std::move(global)]() mutable {
        owned.reset();
        EXPECT_FALSE(owned);
        attachedAfter = TavoJVM::GetInstance().GetEnvIfAttached() != nullptr;
    });
    worker.join();
    EXPECT_FALSE(attachedAfter);

    // The object is gone once collected: the release really happened.
    bool collected = false;
    for (int i = 0; i < 20 && !collected; ++i) {
        gc(caller);
        collected = env->IsSameObject(watcher, nullptr) == JNI_TRUE;
    }
    EXPECT_TRUE(collected);
    env->DeleteWeakGlobalRef(watcher);

    // A global reference destroyed on a thread that is attached leaves that thread attached.
    GlobalRef second;
    {
        LocalRef<jobject> object = c.collection.newArrayList(caller, 1);
        second = GlobalRef(env, object.get());
    }
    bool stillAttached = false;
    std::thread attached([&, owned = std::move(second)]() mutable {
        JNIEnv* threadEnv = nullptr;
        TavoJVM::GetInstance().AttachCurrentThread(&threadEnv);
        owned.reset();
        stillAttached = TavoJVM::GetInstance().GetEnvIfAttached() != nullptr;
        TavoJVM::GetInstance().DetachCurrentThread();
    });
    attached.join();
    EXPECT_TRUE(stillAttached);
    EXPECT_TRUE(caller.failures().empty());
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

}  // namespace
