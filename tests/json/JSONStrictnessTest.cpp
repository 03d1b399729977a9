// The reader takes every valid JSON text and refuses every invalid one with a message that says
// what and where.
#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace {

std::string Nested(int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
}

TEST(JSONStrictness, AcceptsValidDocumentsAndWritesThemBackCompactly) {
    const std::pair<const char*, const char*> valid[] = {
        {"[]", "[]"},
        {" \t\r\n[ 1 , 2 ]\n", "[1,2]"},
        {"[0,-0,1e2,1E-2,-1.5e+3,0.5,10]", "[0,0,100.0,0.01,-1500.0,0.5,10]"},
        {"[2147483647,2147483648,-9223372036854775808]",
         "[2147483647,2147483648,-9223372036854775808]"},
        {R"(["\"\\\/\b\f\n\r\t\u00e9"])", R"(["\"\\/\b\f\n\r\té"])"},
        {"[true,false,null]", "[true,false,null]"},
        {R"([{"a":{"b":[{}]}}])", R"([{"a":{"b":[{}]}}])"},
        {R"([{"dup":1,"dup":2}])", R"([{"dup":2}])"},  // the last value wins
        {"\xEF\xBB\xBF[1]", "[1]"},                    // a leading byte order mark is skipped
        // An escaped half of a surrogate pair is no character: it becomes U+FFFD.
        {R"(["a\ud800b","\udc00"])",
         "[\"a\xEF\xBF\xBD"
         "b\",\"\xEF\xBF\xBD\"]"},
    };
    for (const auto& [text, expected] : valid) {
        JNIJSONArray array(text);
        ASSERT_TRUE(array.isGood()) << text << ": " << array.getLastFailure();
        EXPECT_EQ(array.serialize(), expected) << text;
        JNIJSONArray again(array.serialize().c_str());
        EXPECT_EQ(again.serialize(), expected) << text;
    }
}

TEST(JSONStrictness, RefusesInvalidDocumentsWithPosition) {
    const char* invalid[] = {
        "[1,]",          "{\"a\":1,}", "[1,,2]",     "[,1]",        "[01]",
        "[-01]",         "[1.]",       "[.5]",       "[+1]",        "[1e]",
        "[-]",           "[0x10]",     "[NaN]",      "[Infinity]",  "[\"\\x\"]",
        "[\"\\u12G4\"]", "[\"\\'\"]",  "[\"a\tb\"]", "[\"a\nb\"]",  "[\"a\x01\"]",
        "['a']",         "{a:1}",      "[1] // c",   "[1 /* c */]", "[1] [2]",
        "[1] x",         "[1]]",       "[1",         "[\"open",     "[tru]",
        "[True]",        "[1 2]",      "{\"a\" 1}",  "{\"a\":}",    "[1]\f",
        "\v[1]",
    };
    for (const char* text : invalid) {
        JNIJSONArray array(text);
        EXPECT_FALSE(array.isGood()) << text << " gave " << array.serialize();
        EXPECT_NE(array.getLastFailure().find("line"), std::string::npos)
            << text << ": " << array.getLastFailure();
    }
    // The object reader refuses every top-level value that is not an object.
    for (const char* text : {"[]", "1", "-1.5", "\"s\"", "true", "null", "", " "}) {
        JNIJSONObject object(text);
        EXPECT_FALSE(object.isGood()) << text;
        EXPECT_FALSE(object.getParserError().empty()) << text;
    }
    JNIJSONObject trailing("{\"a\":1} {\"b\":2}");
    EXPECT_FALSE(trailing.isGood());
    EXPECT_NE(trailing.getParserError().find("column 9"), std::string::npos)
        << trailing.getParserError();
}

TEST(JSONStrictness, DeepNestingIsAParseErrorNotACrash) {
    JNIJSONArray deepest(Nested(1000).c_str());
    ASSERT_TRUE(deepest.isGood()) << deepest.getLastFailure();
    EXPECT_EQ(deepest.serialize(), Nested(1000));

    for (int depth : {1001, 10000, 200000}) {
        JNIJSONArray tooDeep(Nested(depth).c_str());
        EXPECT_FALSE(tooDeep.isGood()) << depth;
        EXPECT_NE(tooDeep.getLastFailure().find("nesting deeper than"), std::string::npos)
            << tooDeep.getLastFailure();
    }
    std::string objects;
    for (int i = 0; i < 10000; ++i)
        objects += "{\"a\":";
    objects += "1" + std::string(10000, '}');
    JNIJSONObject deepObject(objects.c_str());
    EXPECT_FALSE(deepObject.isGood());
    EXPECT_NE(deepObject.getParserError().find("line 1, column"), std::string::npos)
        << deepObject.getParserError();

    // A document built deeper than can be read back is refused when written, not half-written.
    JNIJSONArray root;
    {
        std::vector<std::unique_ptr<JNIJSONArray>> chain;
        JNIJSONArray* at = &root;
        for (int i = 0; i < 1100; ++i) {
            chain.push_back(std::make_unique<JNIJSONArray>());
            at->add(chain.back().get());
            at = chain.back().get();
        }
    }
    EXPECT_EQ(root.serialize(), "");
    EXPECT_FALSE(root.getLastFailure().empty());
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

}  // namespace
