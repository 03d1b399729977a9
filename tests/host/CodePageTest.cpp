#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace {

struct Sample {
    const char* codePage;
    std::string generic;  // "Grüße – 5€" in that code page
};

const std::string kUtf8Text =
    "Gr\xc3\xbc\xc3\x9f"
    "e \xe2\x80\x93 5\xe2\x82\xac";

std::vector<Sample> Samples() {
    return {{"UTF-8", kUtf8Text},
            {"windows-1252",
             "Gr\xfc\xdf"
             "e \x96 5\x80"}};
}

TEST(CodePageTest, RoundTripsNonAsciiTextUnderEachCodePage) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(qehost::testing::SetCodePage(sample.codePage));
        EXPECT_EQ(TAVOMBDefaultCodePage(), sample.codePage);
        EXPECT_EQ(qUTF8mode(), std::strcmp(sample.codePage, "UTF-8") == 0);

        std::string utf8;
        EXPECT_TRUE(TAVOMBGenericToU8(sample.generic.c_str(), utf8, nullptr));
        EXPECT_EQ(utf8, kUtf8Text);
        std::string generic;
        EXPECT_TRUE(TAVOMBU8ToGeneric(utf8, generic, nullptr));
        EXPECT_EQ(generic, sample.generic);

        // An explicit converter for the host code page behaves like the default one, and a
        // converter opened with no code page follows the host setting.
        void* own = TAVOMBConverterNew_A(sample.codePage);
        void* following = TAVOMBConverterNew_A(nullptr);
        ASSERT_NE(own, nullptr);
        ASSERT_NE(following, nullptr);
        EXPECT_TRUE(TAVOMBGenericToU8(sample.generic, utf8, own));
        EXPECT_EQ(utf8, kUtf8Text);
        EXPECT_TRUE(TAVOMBU8ToGeneric(kUtf8Text, generic, following));
        EXPECT_EQ(generic, sample.generic);
        TAVOMBConverterDelete_A(own);
        TAVOMBConverterDelete_A(following);

        std::string out = "old";
        EXPECT_TRUE(TAVOMBGenericToU8(static_cast<const char*>(nullptr), out, nullptr));
        EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(qehost::testing::SetCodePage("no-such-code-page"));
    EXPECT_FALSE(qehost::testing::SetCodePage("UTF-16LE"));  // ASCII must keep its codes
    EXPECT_EQ(TAVOMBDefaultCodePage(), "windows-1252");
    EXPECT_EQ(TAVOMBConverterNew_A("no-such-code-page"), nullptr);
}

TEST(CodePageTest, InvalidTextFailsWithoutLosingTheRest) {
    ASSERT_TRUE(qehost::testing::SetCodePage("UTF-8"));
    std::string out;
    EXPECT_FALSE(
        TAVOMBGenericToU8("ab\xff\xfe"
                          "cd\xc3",
                          out, nullptr));
    EXPECT_EQ(out, "ab??cd?");

    ASSERT_TRUE(qehost::testing::SetCodePage("windows-1252"));
    EXPECT_FALSE(TAVOMBGenericToU8("x\x81y", out, nullptr));  // 0x81 is unassigned in 1252
    EXPECT_EQ(out, "x?y");
    EXPECT_FALSE(TAVOMBU8ToGeneric("\xe6\x97\xa5\xe6\x9c\xac-ok", out, nullptr));  // no CJK in 1252
    EXPECT_EQ(out,
              "?"
              "?-ok");
    EXPECT_FALSE(TAVOMBU8ToGeneric("a\xc3", out, nullptr));  // truncated UTF-8
    EXPECT_EQ(out, "a?");

    // Long text crosses the internal buffer boundary intact.
    const std::string longText(5000, '\xe9');
    EXPECT_TRUE(TAVOMBGenericToU8(longText, out, nullptr));
    EXPECT_EQ(out.size(), 10000u);
    std::string back;
    EXPECT_TRUE(TAVOMBU8ToGeneric(out, back, nullptr));
    EXPECT_EQ(back, longText);
}

TEST(CodePageTest, ScanningFunctionsUnderEachCodePage) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(qehost::testing::SetCodePage(sample.codePage));
        std::string text = "C:\\" + sample.generic + "\\x  ";
        TAVOMBstrtrim_A(text);
        EXPECT_EQ(text, "C:\\" + sample.generic + "\\x");
        const char* first = TAVOMBstrchr_A(text.c_str(), '\\');
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first - text.c_str(), 2);
        EXPECT_EQ(TAVOMBstrrchr_A(text.c_str(), '\\') - text.c_str(),
                  static_cast<long>(3 + sample.generic.size()));
        EXPECT_EQ(TAVOMBStringReplaceChar_A(text, '\\', '/'), 2);
        EXPECT_EQ(text, "C:/" + sample.generic + "/x");

        EXPECT_EQ(TAVOMBstrnccmp_A("FILE:///a", "file", 4), 0);
        EXPECT_LT(TAVOMBstrnccmp_A("fil", "file", 4), 0);
        EXPECT_NE(TAVOMBstrnccmp_A(sample.generic.c_str(), "GRx", 3), 0);
        EXPECT_EQ(TAVOMBstrnccmp_A(sample.generic.c_str(), sample.generic.c_str(), 100), 0);
    }
    char buffer[] = "ab   ";
    EXPECT_STREQ(TAVOMBstrtrim_A(buffer), "ab");
    EXPECT_EQ(TAVOMBstrtrim_A(static_cast<char*>(nullptr)), nullptr);
    EXPECT_EQ(TAVOMBstrchr_A(nullptr, '/'), nullptr);
}

TEST(CodePageTest, DoubleByteTrailBytesAreNotTakenForBackslashes) {
    // In Shift-JIS the second byte of U+8868 is 0x5C, the code of "\".
    if (!qehost::testing::SetCodePage("CP932"))
        GTEST_SKIP() << "iconv lacks CP932";
    std::string path = "C:\\\x95\x5c\\a.txt";
    EXPECT_EQ(TAVOMBstrchr_A(path.c_str() + 3, '\\') - path.c_str(), 5);
    EXPECT_EQ(TAVOMBStringReplaceChar_A(path, '\\', '/'), 2);
    EXPECT_EQ(path, "C:/\x95\x5c/a.txt");
    std::string utf8;
    EXPECT_TRUE(TAVOMBGenericToU8(path, utf8, nullptr));
    EXPECT_EQ(utf8, "C:/\xe8\xa1\xa8/a.txt");
    EXPECT_EQ(TAVOMBCharLen_A("\x95\x5c"), 2);
    EXPECT_EQ(TAVOMBCharLen_A("\x95"), 1);  // never past the terminating zero
}

}  // namespace

TEST(CodePage, CutDoubleByteCharacterAtTheEndOfAViewIsNotReadPast) {
    ASSERT_TRUE(qehost::testing::SetCodePage("CP932"));
    // A heap buffer exactly as long as the view: a read past it is caught by ASan.
    auto text = std::make_unique<char[]>(2);
    text[0] = 'a';
    text[1] = '\x82';  // Shift-JIS lead byte without its trail byte
    std::string out;
    EXPECT_FALSE(TAVOMBGenericToU8(std::string_view(text.get(), 2), out, nullptr));
    EXPECT_EQ(out, "a?");
}
