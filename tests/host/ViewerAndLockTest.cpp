#include <thread>

#include <gtest/gtest.h>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/process/CriticalSection.h"
#include "qeinteg/platform/host/process/Viewer.h"
#include "qeinteg/platform/host/testing/ViewerTesting.h"

namespace {

TEST(ViewerTest, KeepsLinesAndSplitsFixedWidthBlocks) {
    EXPECT_TRUE(qehost::testing::ViewerLines().empty());
    DSPLNS("hello", 1, 5);
    DSPLNS("ab\0\0cdef", 2, 4);  // two lines of four bytes; the first ends early
    DSPLNS(nullptr, 1, 3);
    DSPLNS("x", 0, 1);
    EXPECT_EQ(qehost::testing::ViewerLines(), (std::vector<std::string>{"hello", "ab", "cdef"}));
    qehost::testing::ClearViewerLines();
    EXPECT_TRUE(qehost::testing::ViewerLines().empty());
}

TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads) {
    CriticalSection section;
    {
        CriticalSectionLock outer(section);
        CriticalSectionLock inner(section);  // the same thread may enter again
        bool otherGotIt = true;
        std::thread other([&] {
            otherGotIt = section.TryEnter();
            if (otherGotIt)
                section.Leave();
        });
        other.join();
        EXPECT_FALSE(otherGotIt);
    }
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CriticalSectionLock lock(section);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(HostValuesTest, SystemMissingIsTheMostNegativeFiniteDouble) {
    EXPECT_EQ(SYSMIS, -std::numeric_limits<double>::max());
    OBS value;
    value.f = SYSMIS;
    EXPECT_EQ(value.f, SYSMIS);
}

}  // namespace
