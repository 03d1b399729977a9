#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"
#include "qeinteg/runner/QEStopProcessor.h"

namespace {

using namespace std::chrono_literals;

TEST(QEStopProcessorTest, WithoutTimeLimitOnlyTheHostInterruptCounts) {
    QEStopProcessor stop(0);
    EXPECT_FALSE(stop.CheckCancel());
    EXPECT_FALSE(stop.GetCancel());
    EXPECT_EQ(qehost::AtnjmpCalls(), 1);
    EXPECT_EQ(qehost::LastAtnjmpWorkspace(), Workspace());

    qehost::SetPendingBreak(true);
    EXPECT_TRUE(stop.CheckCancel());
    EXPECT_TRUE(stop.CheckCancel());  // no side effect
    // GetCancel hands the break to the host's handler and reports no time-out itself.
    struct Counting : TavoAdapter::InterruptHandler {
        int calls = 0;
        void Interrupt() override { ++calls; }
    } handler;
    GetAdapter()->SetInterruptHandler(&handler);
    EXPECT_FALSE(stop.GetCancel());
    GetAdapter()->SetInterruptHandler(nullptr);
    EXPECT_EQ(handler.calls, 1);
    EXPECT_FALSE(qehost::PendingBreak());
    EXPECT_FALSE(stop.CheckCancel());
    EXPECT_TRUE(qehost::HostOutput::instance().errors().empty());
    EXPECT_EQ(GetInterruptFlag(), 0);
}

TEST(QEStopProcessorTest, TheTimeLimitFiresAfterWallClockWaiting) {
    QEStopProcessor stop(0.2);
    // Waiting uses no processor time; the limit must fire all the same.
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (!stop.CheckCancel() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(stop.CheckCancel());
    EXPECT_TRUE(stop.GetCancel());
    EXPECT_EQ(GetInterruptFlag(), -1);
    EXPECT_TRUE(stop.GetCancel());  // reported again on every call that finds it
    const auto shown = qehost::HostOutput::instance().errors();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Time out termination ...");
    EXPECT_EQ(shown[0].show, 2);
    EXPECT_EQ(shown[0].level, 3);
}

}  // namespace
