// Building and walking a million elements must not grow the thread's local reference table: the
// test main runs the VM with -Xcheck:jni, which warns (and so fails the run) as soon as more local
// references are live than the frame has room for.
#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace {

constexpr int kMillion = 1000000;

TEST(JSONScale, MillionElementArrayBuildAndWalk) {
    const int warningsBefore = qetest::JvmWarningCount();
    JNIJSONArray array(kMillion);
    for (int i = 0; i < kMillion; ++i) {
        if (i % 2 == 0) {
            array.add(i);
        } else {
            array.add(static_cast<double>(i));
        }
    }
    ASSERT_EQ(array.size(), kMillion);

    JNIJSONArray reader;
    JNIJSONInteger integer;
    JNIJSONDouble reals;
    long long intSum = 0;
    double realSum = 0;
    jobject node = array.getObject();
    for (int i = 0; i < kMillion; ++i) {
        jobject element = reader.get(node, i);
        intSum += integer.intValue(element);
        realSum += reals.doubleValue(element);
    }
    const long long expected = static_cast<long long>(kMillion) * (kMillion - 1) / 2;
    EXPECT_EQ(intSum, expected);
    EXPECT_EQ(realSum, static_cast<double>(expected));
    EXPECT_EQ(reader.heldNodeCount(), static_cast<size_t>(kMillion));
    reader.releaseNodes();

    // The same elements through the text and back.
    JNIJSONArray parsed(array.serialize().c_str());
    ASSERT_TRUE(parsed.isGood());
    EXPECT_EQ(parsed.size(), kMillion);
    EXPECT_EQ(integer.intValue(parsed.get(parsed.getObject(), kMillion - 2)), kMillion - 2);
    EXPECT_EQ(qetest::JvmWarningCount(), warningsBefore);
}

TEST(JSONScale, LargeObjectBuildKeySetAndWalk) {
    constexpr int kKeys = 200000;
    const int warningsBefore = qetest::JvmWarningCount();
    JNIJSONObject object;
    for (int i = 0; i < kKeys; ++i)
        object.put("k" + std::to_string(i), i);
    const std::set<std::string> keys = object.keySet();
    ASSERT_EQ(keys.size(), static_cast<size_t>(kKeys));
    EXPECT_EQ(*keys.begin(), "k0");

    JNIJSONInteger integer;
    long long sum = 0;
    for (const std::string& key : keys)
        sum += integer.intValue(object.get(object.getTop(), key.c_str()));
    EXPECT_EQ(sum, static_cast<long long>(kKeys) * (kKeys - 1) / 2);
    EXPECT_EQ(qetest::JvmWarningCount(), warningsBefore);
}

}  // namespace
