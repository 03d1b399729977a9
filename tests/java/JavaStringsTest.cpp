#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace {

using qeinteg::jni::LocalRef;

std::string RoundTrip(const std::string& text) {
    JNIEnv* env = qetest::MainEnv();
    LocalRef<jstring> s(env, qejni::NewJavaString(env, text));
    return qejni::JavaStringToUtf8(env, s.get());
}

TEST(JavaStrings, StandardUtf8CrossesUnchanged) {
    const std::string samples[] = {
        "",
        "plain ascii",
        "caf\xC3\xA9 \xE2\x82\xAC",                    // Latin-1 and BMP
        "grin \xF0\x9F\x98\x80 and \xF0\xA0\x80\x8B",  // outside the BMP
        std::string("nul\0inside", 10),
    };
    for (const std::string& s : samples)
        EXPECT_EQ(RoundTrip(s), s);
}

TEST(JavaStrings, NonBmpCharacterIsOneCodePointInJava) {
    JNIEnv* env = qetest::MainEnv();
    LocalRef<jstring> s(env, qejni::NewJavaString(env, "\xF0\x9F\x98\x80"));
    EXPECT_EQ(env->GetStringLength(s.get()), 2);  // one surrogate pair, not two 3-byte halves
    jclass cls = env->GetObjectClass(s.get());
    jmethodID codePointCount = env->GetMethodID(cls, "codePointCount", "(II)I");
    EXPECT_EQ(env->CallIntMethod(s.get(), codePointCount, 0, 2), 1);
    ASSERT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(cls);
}

TEST(JavaStrings, MalformedInputBecomesReplacementCharacter) {
    EXPECT_EQ(RoundTrip("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(RoundTrip("trunc\xE2\x82"), "trunc\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(RoundTrip("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong "/"
    const char16_t lone[] = {u'x', 0xD800, u'y'};
    EXPECT_EQ(qejni::Utf16ToUtf8(lone, 3), "x\xEF\xBF\xBDy");
    EXPECT_EQ(qejni::JavaStringToUtf8(qetest::MainEnv(), nullptr), "");
}

}  // namespace
