#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"

namespace {

TEST(JNIJSONArray, AppendsInsertsAndReplacesEveryKind) {
    JNIJSONArray array;
    ASSERT_TRUE(array.isGood());
    JNIJSONObject object;
    object.put("k", 1);
    JNIJSONArray inner(4);
    EXPECT_EQ(inner.size(), 0);
    inner.add(9);
    array.add(1);
    array.add(1LL << 33);
    array.add(0.5);
    array.add(false);
    array.add("s");
    array.add(std::string("t"));
    array.add(&object);
    array.add(&inner);
    array.addNull();
    array.add(static_cast<JNIJSONObject*>(nullptr));
    array.add(static_cast<JNIJSONArray*>(nullptr));
    array.add(static_cast<const char*>(nullptr));
    EXPECT_EQ(array.size(), 12);
    EXPECT_EQ(array.serialize(),
              R"([1,8589934592,0.5,false,"s","t",{"k":1},[9],null,null,null,null])");

    JNIJSONArray pair("[1,2]");
    ASSERT_TRUE(pair.isGood());
    pair.add(0, "x");
    EXPECT_EQ(pair.serialize(), R"(["x",1,2])");
    pair.add(3, 7LL);
    pair.add(1, true);
    pair.addNull(0);
    pair.add(0, &inner);
    EXPECT_EQ(pair.serialize(), R"([[9],null,"x",true,1,2,7])");

    JNIJSONArray other("[1,2]");
    other.set(0, "x");
    EXPECT_EQ(other.serialize(), R"(["x",2])");
    other.set(1, 2.25);
    other.setNull(0);
    EXPECT_EQ(other.serialize(), "[null,2.25]");
    other.set(0, &object);
    other.set(1, std::string("y"));
    EXPECT_EQ(other.serialize(), R"([{"k":1},"y"])");
}

TEST(JNIJSONArray, IndexOutOfRangeIsAReportedFailureAndChangesNothing) {
    JNIJSONArray array("[1,2]");
    ASSERT_TRUE(array.isGood());
    EXPECT_EQ(array.get(array.getObject(), 2), nullptr);
    EXPECT_FALSE(array.getLastFailure().empty());
    array.clearLastFailure();
    EXPECT_EQ(array.get(array.getObject(), -1), nullptr);
    EXPECT_FALSE(array.getLastFailure().empty());

    array.clearLastFailure();
    array.add(3, 5);
    EXPECT_FALSE(array.getLastFailure().empty());
    array.clearLastFailure();
    array.set(2, 5);
    EXPECT_FALSE(array.getLastFailure().empty());
    array.setNull(-1);
    array.add(-1, "x");
    EXPECT_EQ(array.serialize(), "[1,2]");
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

TEST(JNIJSONArray, ParsesOnlyArraysAndReadsAnyArrayNode) {
    JNIJSONArray none(nullptr);
    EXPECT_FALSE(none.isGood());
    EXPECT_EQ(none.size(), 0);
    EXPECT_EQ(none.serialize(), "");
    none.add(1);  // nothing to add to: recorded, not thrown
    EXPECT_FALSE(none.getLastFailure().empty());

    JNIJSONArray object("{\"a\":1}");
    EXPECT_FALSE(object.isGood());
    EXPECT_FALSE(object.getLastFailure().empty());
    JNIJSONArray broken("[1,,2]");
    EXPECT_FALSE(broken.isGood());

    JNIJSONArray negative(-5);  // no room is no error
    EXPECT_TRUE(negative.isGood());

    JNIJSONObject doc(R"({"m":[[1,2],[3.5,"x"]]})");
    jobject matrix = doc.get(doc.getTop(), "m");
    JNIJSONArray reader;
    ASSERT_EQ(reader.size(matrix), 2);
    jobject row = reader.get(matrix, 1);
    EXPECT_EQ(reader.size(row), 2);
    JNIJSONDouble reals;
    EXPECT_EQ(reals.doubleValue(reader.get(row, 0)), 3.5);
    EXPECT_TRUE(reader.isString(reader.get(row, 1)));
    // Reading other nodes leaves the wrapper's own array alone.
    EXPECT_EQ(reader.serialize(), "[]");
    EXPECT_EQ(reader.size(nullptr), 0);
    EXPECT_EQ(reader.get(nullptr, 0), nullptr);
}

}  // namespace
