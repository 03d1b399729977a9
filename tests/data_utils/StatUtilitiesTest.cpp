#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace {

TEST(StatUtilitiesTest, NumbersReadTheLeadingNumberOrGiveZero) {
    EXPECT_EQ(String2Integer("42"), 42);
    EXPECT_EQ(String2Integer("  -7 apples"), -7);
    EXPECT_EQ(String2Integer("abc"), 0);
    EXPECT_EQ(String2Integer(""), 0);
    EXPECT_EQ(String2Integer("99999999999999999999"), 0);  // does not fit
    EXPECT_EQ(Integer2String(-1024), "-1024");
    EXPECT_DOUBLE_EQ(String2Double("1.5e3x"), 1500.0);
    EXPECT_EQ(String2Double("x1"), 0.0);
    EXPECT_EQ(Double2String(1.0 / 3.0), "0.333333");
    EXPECT_EQ(Double2String(2.5), "2.5");
}

std::string NumberText(double number) {
    OBS value;
    value.f = number;
    std::string text = "stale";
    ConvertObsValToStr(&value, 0, text);
    return text;
}

TEST(StatUtilitiesTest, CaseValuesAsText) {
    EXPECT_EQ(NumberText(1.5), "1.5");
    EXPECT_EQ(NumberText(0.1), "0.1");
    EXPECT_EQ(NumberText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(NumberText(-20), "-20");

    OBS strings[2];
    std::memcpy(strings, "name    more", 12);
    reinterpret_cast<char*>(strings)[12] = '\0';
    std::string text;
    ConvertObsValToStr(strings, 8, text);
    EXPECT_EQ(text, "name");
    ConvertObsValToStr(strings, 16, text);  // stops at the zero byte
    EXPECT_EQ(text, "name    more");
    ConvertObsValToStr(strings, -1, text);
    EXPECT_EQ(text, "");
    text = "stale";
    ConvertObsValToStr(nullptr, 0, text);
    EXPECT_EQ(text, "");
}

// Switches LC_NUMERIC to a locale with a decimal comma: an installed one, or else one compiled
// into the test directory with localedef. Empty when neither is possible.
std::string UseCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr)
            return name;
    }
    const std::string dir = qetest::TestDir() + "/locales";
    const std::string command =
        "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(("mkdir -p " + dir).c_str()) != 0 || std::system(command.c_str()) != 0) {
        return {};
    }
    qetest::ScopedEnv path("LOCPATH", dir.c_str());
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        return {};
    return "de_DE.UTF-8";
}

TEST(StatUtilitiesTest, NumbersUseAPointUnderACommaLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (UseCommaLocale().empty())
        GTEST_SKIP() << "no locale with a decimal comma available";
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 1.5);
    const std::string oneHalf = NumberText(1.5);
    const std::string third = NumberText(-1.0 / 3.0);
    std::setlocale(LC_NUMERIC, previous.c_str());
    ASSERT_STREQ(check, "1,5");  // the locale really uses a comma
    EXPECT_EQ(oneHalf, "1.5");
    EXPECT_EQ(third, "-0.333333333333333");
}

TEST(StatUtilitiesTest, TranscodingUnderEachCodePage) {
    const std::string utf8 = "\xc3\x84rger \xe2\x82\xac";
    for (const char* codePage : {"UTF-8", "windows-1252"}) {
        SCOPED_TRACE(codePage);
        ASSERT_TRUE(qehost::testing::SetCodePage(codePage));
        const std::string generic = transcodeFromUTF8(utf8.c_str());
        EXPECT_EQ(generic, qUTF8mode() ? utf8 : std::string("\xc4rger \x80"));
        EXPECT_EQ(transcodeToUTF8(generic.c_str()), utf8);
        EXPECT_EQ(transcodeToUTF8(nullptr), "");
        EXPECT_EQ(transcodeFromUTF8(nullptr), "");
        // Text invalid in the code page is still converted, marked where it was bad.
        EXPECT_EQ(transcodeToUTF8(qUTF8mode() ? "a\xff" : "a\x81"), "a?");

        void* converter = TAVOMBConverterNew_A("windows-1252");
        EXPECT_EQ(transcodeToUTF8("\xe9", converter), "\xc3\xa9");
        TAVOMBConverterDelete_A(converter);
    }
}

}  // namespace
