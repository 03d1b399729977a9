#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONBoolean.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace {

constexpr const char* kDocument = R"({
  "source": {"name": "roads", "value": {"features": [1, 2, 3], "count": 3}},
  "title": "Summary",
  "rows": [{"n": 7}, {"n": 8}],
  "ratio": 0.25,
  "flag": true,
  "nothing": null
})";

TEST(JNIJSONObject, BuildsEveryKindAndReplacesKeys) {
    JNIJSONObject object;
    ASSERT_TRUE(object.isGood());
    EXPECT_EQ(object.getTop(), object.getObject());
    object.put("i", 5);
    object.put("l", 1LL << 40);
    object.put("d", 2.5);
    object.put("b", true);
    object.put("s", "text");
    object.put("t", std::string("more"));
    object.putNull("n");
    object.put("o", static_cast<JNIJSONObject*>(nullptr));
    object.put("a", static_cast<JNIJSONArray*>(nullptr));
    object.put("c", static_cast<const char*>(nullptr));
    EXPECT_EQ(object.toString(),
              R"({"i":5,"l":1099511627776,"d":2.5,"b":true,"s":"text","t":"more","n":null,)"
              R"("o":null,"a":null,"c":null})");
    EXPECT_EQ(object.serialize(), object.toString());

    // A new value for an existing key replaces it in place.
    object.put("i", "five");
    EXPECT_EQ(object.getChildAsString(object.getTop(), "i"), "five");
    EXPECT_EQ(object.keySet().size(), 10u);
    // Keys stored with JSON null are still keys.
    EXPECT_EQ(object.keySet().count("n"), 1u);
    EXPECT_EQ(object.keySet().count("o"), 1u);
    EXPECT_EQ(object.get(object.getTop(), "o"), nullptr);
}

TEST(JNIJSONObject, KeySetIsSortedByBytes) {
    JNIJSONObject object;
    object.put("b", 1);
    object.put("a", 2);
    object.put("\xC3\xA9", 3);  // é sorts after ASCII by bytes
    object.put("B", 4);
    const std::set<std::string> expected{"B", "a", "b", "\xC3\xA9"};
    EXPECT_EQ(object.keySet(), expected);
    EXPECT_EQ(object.keySet(object.getTop()), expected);
    // Insertion order is kept in the text.
    EXPECT_EQ(object.toString(), "{\"b\":1,\"a\":2,\"\xC3\xA9\":3,\"B\":4}");
    // Not an object: no keys, no failure to the caller.
    JNIJSONArray array("[1]");
    EXPECT_TRUE(object.keySet(array.getObject()).empty());
    EXPECT_TRUE(object.keySet(nullptr).empty());
}

TEST(JNIJSONObject, ParsesAndWalksByKeyAndPath) {
    JNIJSONObject doc(kDocument);
    ASSERT_TRUE(doc.isGood()) << doc.getParserError();
    EXPECT_TRUE(doc.getParserError().empty());
    jobject top = doc.getTop();
    ASSERT_NE(top, nullptr);

    jobject features = doc.getByPath(top, "source.value.features");
    ASSERT_TRUE(doc.isJSONArray(features));
    JNIJSONArray reader;
    EXPECT_EQ(reader.size(features), 3);
    JNIJSONInteger integer;
    EXPECT_EQ(integer.intValue(reader.get(features, 2)), 3);

    // Empty pieces add no key; a path with no key at all gives nothing.
    EXPECT_EQ(doc.toString(doc.getByPath(top, ".source..value.count.")), "3");
    EXPECT_EQ(doc.getByPath(top, ""), nullptr);
    EXPECT_EQ(doc.getByPath(top, "..."), nullptr);
    EXPECT_EQ(doc.getByPath(nullptr, "title"), nullptr);
    // A step through an array, a string or a missing key ends the walk.
    EXPECT_EQ(doc.getByPath(top, "rows.n"), nullptr);
    EXPECT_EQ(doc.getByPath(top, "title.x"), nullptr);
    EXPECT_EQ(doc.getByPath(top, "missing.x"), nullptr);
    EXPECT_EQ(doc.getByPath(top, "nothing"), nullptr);
    // The last step may give a scalar.
    JNIJSONDouble reals;
    EXPECT_EQ(reals.doubleValue(doc.getByPath(top, "source.value.count")), 3.0);

    EXPECT_EQ(doc.getChildAsString(top, "title"), "Summary");
    EXPECT_EQ(doc.getChildAsString(top, "absent"), "");
    EXPECT_EQ(doc.getChildAsString(top, "ratio"), "");
    EXPECT_EQ(doc.getChildAsString(top, "nothing"), "");

    JNIJSONBoolean booleans;
    EXPECT_TRUE(booleans.booleanValue(doc.get(top, "flag")));
    EXPECT_FALSE(booleans.booleanValue(doc.get(top, "ratio")));
    EXPECT_EQ(reals.doubleValue(doc.get(top, "ratio")), 0.25);
    EXPECT_EQ(doc.get(top, "absent"), nullptr);
    EXPECT_EQ(doc.get(top, nullptr), nullptr);

    // get() moves the current node to the object it looked into; the root stays.
    jobject source = doc.get(top, "source");
    jobject value = doc.get(source, "value");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(doc.toString(), R"({"name":"roads","value":{"features":[1,2,3],"count":3}})");
    EXPECT_EQ(doc.getTop(), top);
    EXPECT_EQ(doc.toString(value), R"({"features":[1,2,3],"count":3})");
}

TEST(JNIJSONObject, HandsOutGlobalHandlesOwnedByTheWrapper) {
    JNIJSONObject doc(kDocument);
    ASSERT_TRUE(doc.isGood());
    JNIEnv* env = doc.getEnv();
    EXPECT_EQ(env->GetObjectRefType(doc.getTop()), JNIGlobalRefType);
    EXPECT_EQ(doc.heldNodeCount(), 0u);
    jobject title = doc.get(doc.getTop(), "title");
    EXPECT_EQ(env->GetObjectRefType(title), JNIGlobalRefType);
    doc.getByPath(doc.getTop(), "source.value");
    doc.get(doc.getTop(), "absent");  // nothing to hold
    EXPECT_EQ(doc.heldNodeCount(), 2u);
    doc.releaseNodes();
    EXPECT_EQ(doc.heldNodeCount(), 0u);
    // The wrapper is still usable and its current node is its own again.
    EXPECT_EQ(doc.getChildAsString(doc.getTop(), "title"), "Summary");
    doc.releaseNodes();
    EXPECT_EQ(doc.getObject(), doc.getTop());
}

TEST(JNIJSONObject, ParseFailuresKeepNoNodeAndSayWhy) {
    JNIJSONObject none(nullptr);
    EXPECT_FALSE(none.isGood());
    EXPECT_TRUE(none.getParserError().empty());
    EXPECT_EQ(none.getTop(), nullptr);
    EXPECT_EQ(none.toString(), "");
    EXPECT_EQ(none.serialize(), "");
    none.put("x", 1);  // no node to write to: a recorded failure, not a crash
    EXPECT_FALSE(none.getLastFailure().empty());

    for (const char* text : {"[1,2]", "5", "\"text\"", "null", "true", "", "   "}) {
        JNIJSONObject notAnObject(text);
        EXPECT_FALSE(notAnObject.isGood()) << text;
        EXPECT_FALSE(notAnObject.getParserError().empty()) << text;
    }

    JNIJSONObject broken("{\n  \"a\": 1,\n  \"b\": [1, 2,]\n}");
    EXPECT_FALSE(broken.isGood());
    EXPECT_NE(broken.getParserError().find("line 3"), std::string::npos) << broken.getParserError();
    EXPECT_NE(broken.getParserError().find("column"), std::string::npos);

    // A later success on another wrapper is unaffected, and a good parse has no error text.
    JNIJSONObject good("{\"a\":1}");
    EXPECT_TRUE(good.isGood());
    EXPECT_TRUE(good.getParserError().empty());
}

TEST(JNIJSONObject, StoredChildrenAreLinkedNotCopied) {
    JNIJSONObject parent;
    JNIJSONObject child;
    JNIJSONArray list;
    parent.put("child", &child);
    parent.put("list", &list);
    child.put("late", 1);
    list.add("x");
    EXPECT_EQ(parent.toString(), R"({"child":{"late":1},"list":["x"]})");

    // A value stored inside itself cannot be written; the failure is reported, not thrown.
    JNIJSONObject loop;
    loop.put("self", &loop);
    EXPECT_EQ(loop.toString(), "");
    EXPECT_NE(loop.getLastFailure().find("nesting"), std::string::npos) << loop.getLastFailure();
}

TEST(JNIJSONObject, OperationsOnTheWrongKindFailQuietly) {
    JNIJSONObject doc(kDocument);
    jobject rows = doc.get(doc.getTop(), "rows");
    ASSERT_TRUE(doc.isJSONArray(rows));
    // get() on an array node: nothing, and the node becomes current, so put() has no object.
    EXPECT_EQ(doc.get(rows, "n"), nullptr);
    doc.clearLastFailure();
    doc.put("x", 1);
    EXPECT_FALSE(doc.getLastFailure().empty());
    EXPECT_EQ(doc.toString(), R"([{"n":7},{"n":8}])");

    jobject title = doc.get(doc.getTop(), "title");
    JNIJSONInteger integer;
    JNIJSONDouble reals;
    JNIJSONBoolean booleans;
    EXPECT_EQ(integer.intValue(title), 0);
    EXPECT_EQ(reals.doubleValue(title), 0.0);
    EXPECT_FALSE(booleans.booleanValue(title));
    EXPECT_EQ(integer.intValue(nullptr), 0);
    EXPECT_EQ(reals.doubleValue(nullptr), 0.0);
    EXPECT_FALSE(booleans.booleanValue(nullptr));
    JNIJSONArray arrays;
    EXPECT_EQ(arrays.size(doc.getTop()), 0);
    EXPECT_EQ(arrays.get(doc.getTop(), 0), nullptr);

    // Kind tests on every kind.
    jobject flag = doc.get(doc.getTop(), "flag");
    EXPECT_TRUE(doc.isString(title));
    EXPECT_FALSE(doc.isString(flag));
    EXPECT_TRUE(doc.isJSONObject(doc.getTop()));
    EXPECT_FALSE(doc.isJSONObject(rows));
    EXPECT_FALSE(doc.isJSONArray(doc.getTop()));
    EXPECT_FALSE(doc.isString(nullptr));
    EXPECT_FALSE(doc.isJSONObject(nullptr));
    EXPECT_FALSE(doc.isJSONArray(nullptr));
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

TEST(JNIJSONObject, NumbersReadThroughEveryReader) {
    JNIJSONObject doc(
        R"({"small":7,"big":3000000000,"neg":-2147483648,"huge":123456789012345678901234,)"
        R"("real":2.9,"exp":1e3,"minusZero":-0.0})");
    ASSERT_TRUE(doc.isGood()) << doc.getParserError();
    jobject top = doc.getTop();
    JNIJSONInteger integer;
    JNIJSONDouble reals;
    // Integer nodes read as doubles and Long nodes as both.
    EXPECT_EQ(reals.doubleValue(doc.get(top, "small")), 7.0);
    EXPECT_EQ(integer.intValue(doc.get(top, "small")), 7);
    EXPECT_EQ(reals.doubleValue(doc.get(top, "big")), 3000000000.0);
    EXPECT_EQ(integer.intValue(doc.get(top, "neg")), -2147483647 - 1);
    EXPECT_EQ(reals.doubleValue(doc.get(top, "neg")), -2147483648.0);
    EXPECT_DOUBLE_EQ(reals.doubleValue(doc.get(top, "huge")), 1.2345678901234568e23);
    EXPECT_EQ(integer.intValue(doc.get(top, "real")), 2);
    EXPECT_EQ(reals.doubleValue(doc.get(top, "exp")), 1000.0);
    EXPECT_TRUE(std::signbit(reals.doubleValue(doc.get(top, "minusZero"))));

    // Built numbers of each kind read back the same way.
    JNIJSONObject built;
    built.put("i", 42);
    built.put("l", 5000000000LL);
    built.put("d", 0.1);
    EXPECT_EQ(reals.doubleValue(built.get(built.getTop(), "i")), 42.0);
    EXPECT_EQ(reals.doubleValue(built.get(built.getTop(), "l")), 5000000000.0);
    EXPECT_EQ(reals.doubleValue(built.get(built.getTop(), "d")), 0.1);
    EXPECT_EQ(built.toString(), R"({"i":42,"l":5000000000,"d":0.1})");

    // Non-finite doubles have no JSON form: they are written as null, and the text stays valid.
    built.put("nan", std::nan(""));
    built.put("inf", -HUGE_VAL);
    const std::string text = built.toString();
    EXPECT_NE(text.find(R"("nan":null,"inf":null)"), std::string::npos) << text;
    EXPECT_TRUE(JNIJSONObject(text.c_str()).isGood());
}

TEST(JNIJSONObject, ScalarNodesAsText) {
    JNIJSONObject doc(R"({"s":"a\"b\\c\n","n":5,"d":1.5,"b":false,"z":null})");
    ASSERT_TRUE(doc.isGood());
    jobject top = doc.getTop();
    EXPECT_EQ(doc.toString(doc.get(top, "s")), R"("a\"b\\c\n")");
    EXPECT_EQ(doc.toString(doc.get(top, "n")), "5");
    EXPECT_EQ(doc.toString(doc.get(top, "d")), "1.5");
    EXPECT_EQ(doc.toString(doc.get(top, "b")), "false");
    EXPECT_EQ(doc.toString(doc.get(top, "z")), "null");
}

TEST(JNIJSONObject, TextsCrossUnchangedInUtf8) {
    // NUL, a character outside the Basic Multilingual Plane, control characters and quotes.
    const std::string text("nul\0here \xF0\x9F\x98\x80 \xE2\x82\xAC \x01\x1F \"q\" \\", 26);
    const std::string key("k\xF0\x9D\x84\x9E\0x", 8);
    JNIJSONObject object;
    object.put(key, text);
    const std::string serialised = object.toString();
    // Control characters are escaped; the text is one line of standard JSON.
    EXPECT_NE(serialised.find("\\u0000"), std::string::npos) << serialised;
    EXPECT_NE(serialised.find("\\u0001"), std::string::npos) << serialised;
    EXPECT_EQ(serialised.find('\x01'), std::string::npos);
    EXPECT_NE(serialised.find("\xF0\x9F\x98\x80"), std::string::npos);

    JNIJSONObject back(serialised.c_str());
    ASSERT_TRUE(back.isGood()) << back.getParserError();
    EXPECT_EQ(back.keySet(), std::set<std::string>{key});
    EXPECT_EQ(back.getChildAsString(back.getTop(), key.c_str()), "");  // the C key stops at NUL
    EXPECT_EQ(back.toString(), serialised);
    jobject value = back.getByPath(back.getTop(), key);
    ASSERT_NE(value, nullptr);
    JNIJSONArray holder;
    holder.add(text);
    EXPECT_EQ(holder.serialize(), "[" + back.toString(value) + "]");

    // Escapes in the source text decode to the same characters.
    JNIJSONObject escaped(R"({"v":"\ud83d\ude00\u20ac\u0000"})");
    ASSERT_TRUE(escaped.isGood());
    EXPECT_EQ(escaped.getChildAsString(escaped.getTop(), "v"),
              std::string("\xF0\x9F\x98\x80\xE2\x82\xAC\0", 8));
}

}  // namespace
