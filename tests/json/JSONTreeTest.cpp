// readTree copies a value out of Java in one call; what it reads must be exactly what the
// node-by-node operations read from the same document, for every kind of value, at every size.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONBoolean.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace {

using Node = qeinteg::jni::PackedJson::Node;

// A canonical text of a value read node by node: kinds, member order, numbers as read by
// doubleValue and intValue, strings byte for byte.
struct NodeByNode {
    JNIJSONObject objects;
    JNIJSONArray arrays;
    JNIJSONDouble doubles;
    JNIJSONInteger integers;
    JNIJSONBoolean booleans;

    std::string Text(jobject node) {
        if (node == nullptr)
            return "null";
        if (objects.isJSONObject(node)) {
            std::string out = "{";
            for (const std::string& key : objects.keySet(node))
                out += key + ":" + Text(objects.get(node, key.c_str())) + ",";
            return out + "}";
        }
        if (objects.isJSONArray(node)) {
            std::string out = "[";
            for (int i = 0, n = arrays.size(node); i < n; ++i)
                out += Text(arrays.get(node, i)) + ",";
            return out + "]";
        }
        if (objects.isString(node))
            return "'" + objects.getString(static_cast<jstring>(node)) + "'";
        const std::string text = objects.toString(node);
        if (text == "true" || text == "false")
            return booleans.booleanValue(node) ? "T" : "F";
        return std::to_string(doubles.doubleValue(node)) + "/" +
               std::to_string(integers.intValue(node));
    }
};

// The same canonical text read from the packed form (keys sorted as keySet gives them).
std::string PackedText(Node node) {
    switch (node.kind()) {
        case qeinteg::jni::PackedJson::Kind::Object: {
            std::vector<std::string> keys;
            node.forEachMember([&](std::string_view key, Node) {
                keys.emplace_back(key);
                return true;
            });
            std::sort(keys.begin(), keys.end());
            std::string out = "{";
            for (const std::string& key : keys)
                out += key + ":" + PackedText(node.get(key)) + ",";
            return out + "}";
        }
        case qeinteg::jni::PackedJson::Kind::Array: {
            std::string out = "[";
            node.forEachElement([&](Node element) {
                out += PackedText(element) + ",";
                return true;
            });
            return out + "]";
        }
        case qeinteg::jni::PackedJson::Kind::String:
            return "'" + std::string(node.text()) + "'";
        case qeinteg::jni::PackedJson::Kind::True:
            return "T";
        case qeinteg::jni::PackedJson::Kind::False:
            return "F";
        case qeinteg::jni::PackedJson::Kind::Null:
        case qeinteg::jni::PackedJson::Kind::Absent:
            return "null";
        default:
            return std::to_string(node.number()) + "/" + std::to_string(node.intValue());
    }
}

TEST(JSONTree, ReadsEveryKindAsTheNodeByNodeOperations) {
    // Numbers at the edges of the Java number kinds: Integer, Long (whose intValue keeps the low 32
    // bits), Double (intValue truncates and saturates); texts with 2-, 3- and 4-byte UTF-8.
    const char* text =
        R"({"b":1,"a":[null,true,false,0,-7,2147483647,4294967301,-9223372036854775808,)"
        R"(3.9,-3.9,1e20,-1e300,"",)"
        "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\",\"\\u0000x\",\"q\\\"\\\\\"],"
        R"("nested":{"z":{},"y":[],"x":[[[1]]]},"n":null,"\u00e9":"key in UTF-8"})";
    JNIJSONObject doc(text);
    ASSERT_TRUE(doc.isGood()) << doc.getParserError();
    NodeByNode reader;
    const std::string expected = reader.Text(doc.getTop());

    qeinteg::jni::PackedJson tree = doc.readTree(doc.getTop());
    ASSERT_TRUE(tree.valid()) << doc.getLastFailure();
    EXPECT_EQ(PackedText(tree.root()), expected);

    // Members keep the object's order; a missing member is absent, a JSON null is present.
    std::string order;
    tree.root().forEachMember([&](std::string_view key, Node) {
        order += std::string(key) + " ";
        return true;
    });
    EXPECT_EQ(order, "b a nested n \xC3\xA9 ");
    EXPECT_FALSE(tree.root().get("missing").present());
    EXPECT_TRUE(tree.root().get("n").present());
    EXPECT_TRUE(tree.root().get("n").isNull());
    EXPECT_EQ(tree.root().get("a").size(), 16u);
    EXPECT_EQ(tree.root().get("a").at(6).intValue(), 5);
    EXPECT_EQ(tree.root().get("a").at(10).intValue(), INT_MAX);
    EXPECT_EQ(tree.root().get("a").at(14).text(), std::string_view("\0x", 2));
    EXPECT_FALSE(tree.root().get("a").at(16).present());

    // A subtree, a scalar and a null handle.
    jobject nested = doc.get(doc.getTop(), "nested");
    EXPECT_EQ(PackedText(doc.readTree(nested).root()), reader.Text(nested));
    jobject b = doc.get(doc.getTop(), "b");
    EXPECT_EQ(doc.readTree(b).root().intValue(), 1);
    qeinteg::jni::PackedJson none = doc.readTree(nullptr);
    ASSERT_TRUE(none.valid());
    EXPECT_EQ(none.root().kind(), qeinteg::jni::PackedJson::Kind::Null);
}

TEST(JSONTree, LargeValuesGrowTheBufferWithoutLosingAnything) {
    // Far beyond the packer's first buffer: every element and key must arrive, in order.
    const int warningsBefore = qetest::JvmWarningCount();
    JNIJSONArray array(200000);
    for (int i = 0; i < 200000; ++i) {
        if (i % 3 == 0)
            array.add(i);
        else if (i % 3 == 1)
            array.add(i + 0.5);
        else
            array.add("value " + std::to_string(i));
    }
    qeinteg::jni::PackedJson tree = array.readTree(array.getObject());
    ASSERT_TRUE(tree.valid());
    ASSERT_EQ(tree.root().size(), 200000u);
    int i = 0;
    bool same = true;
    tree.root().forEachElement([&](Node n) {
        if (i % 3 == 0)
            same = same && n.kind() == qeinteg::jni::PackedJson::Kind::Int && n.intValue() == i;
        else if (i % 3 == 1)
            same = same && n.number() == i + 0.5;
        else
            same = same && n.text() == "value " + std::to_string(i);
        ++i;
        return true;
    });
    EXPECT_EQ(i, 200000);
    EXPECT_TRUE(same);

    // keySet packs into a buffer it keeps; later calls with more keys than fit it still get all.
    JNIJSONObject object;
    for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < 3000; ++k)
            object.put("key number " + std::to_string(round * 3000 + k), k);
        EXPECT_EQ(object.keySet().size(), static_cast<size_t>((round + 1) * 3000));
    }
    EXPECT_EQ(*object.keySet().begin(), "key number 0");
    EXPECT_EQ(qetest::JvmWarningCount(), warningsBefore);
}

TEST(JSONTree, ValueStoredInsideItselfIsAFailureNotACrash) {
    JNIJSONArray array;
    array.add(1);
    array.add(&array);  // the array holds itself: no finite packed form
    qeinteg::jni::PackedJson tree = array.readTree(array.getObject());
    EXPECT_FALSE(tree.valid());
    EXPECT_NE(array.getLastFailure().find("nesting deeper than"), std::string::npos)
        << array.getLastFailure();
    // The wrapper goes on working after the failure.
    JNIJSONArray other("[1,2]");
    EXPECT_EQ(other.readTree(other.getObject()).root().size(), 2u);
}

TEST(JSONTree, DamagedBufferReadsAsAbsentNeverOutsideIt) {
    // An array that claims more body than the buffer has, a string longer than its buffer, an
    // object whose key runs past the end, an unknown tag: none may be read past `end`.
    auto bytes = [](std::initializer_list<int> list) {
        std::vector<std::uint8_t> out;
        for (int b : list)
            out.push_back(static_cast<std::uint8_t>(b));
        return out;
    };
    const std::vector<std::uint8_t> longArray = bytes({7, 2, 0, 0, 0, 200, 0, 0, 0, 3, 1, 0, 0, 0});
    const Node array(longArray.data(), longArray.data() + longArray.size());
    int seen = 0;
    array.forEachElement([&](Node) { return ++seen, true; });
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(array.skip(), nullptr);

    const std::vector<std::uint8_t> longString = bytes({6, 50, 0, 0, 0, 'a', 'b'});
    const Node string(longString.data(), longString.data() + longString.size());
    EXPECT_TRUE(string.text().empty());
    EXPECT_EQ(string.skip(), nullptr);

    const std::vector<std::uint8_t> longKey =
        bytes({8, 1, 0, 0, 0, 6, 0, 0, 0, 90, 0, 0, 0, 'k', 0});
    const Node object(longKey.data(), longKey.data() + longKey.size());
    EXPECT_FALSE(object.get("k").present());

    const std::vector<std::uint8_t> unknown = bytes({42, 0, 0, 0});
    const Node strange(unknown.data(), unknown.data() + unknown.size());
    EXPECT_FALSE(strange.present());
    EXPECT_EQ(strange.number(), 0.0);
    EXPECT_FALSE(Node().present());

    // A truncated number reads as 0, not from beyond the end.
    const std::vector<std::uint8_t> shortDouble = bytes({5, 0, 0});
    EXPECT_EQ(Node(shortDouble.data(), shortDouble.data() + shortDouble.size()).number(), 0.0);
}

}  // namespace
