#include <gtest/gtest.h>

#include <csignal>

#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"

namespace {

struct CountingHandler : TavoAdapter::InterruptHandler {
    int calls = 0;
    void Interrupt() override { ++calls; }
};

TEST(HostProcessTest, ABreakFromASignalReachesTheCurrentHandlerThroughATNJMPOnce) {
    CountingHandler first, second;
    EXPECT_EQ(GetAdapter()->SetInterruptHandler(&first), nullptr);
    EXPECT_EQ(GetAdapter()->SetInterruptHandler(&second), &first);

    ATNJMP(Workspace());  // nothing pending: nothing happens
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(ATNCHK(), 0);

    qehost::InstallBreakSignal(SIGUSR1);
    std::raise(SIGUSR1);
    EXPECT_TRUE(qehost::PendingBreak());
    EXPECT_EQ(ATNCHK(), 1);
    ATNJMP(Workspace());
    ATNJMP(Workspace());
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(qehost::AtnjmpCalls(), 3);
    EXPECT_EQ(qehost::AtnjmpBreaks(), 1);
    std::signal(SIGUSR1, SIG_DFL);

    // A raised interrupt flag is a pending interrupt too.
    SetInterruptFlag(-1);
    EXPECT_EQ(ATNCHK(), 1);
    EXPECT_TRUE(GetAdapter()->DeliverInterrupt());
    EXPECT_EQ(second.calls, 2);
}

TEST(HostProcessTest, ResetClearsSettingsFlagsAndTheHandler) {
    EXPECT_EQ(GetAdapter()->GetInterruptHandler(), nullptr);
    EXPECT_FALSE(GetAdapter()->DeliverInterrupt());
    EXPECT_EQ(GetInterruptFlag(), 0);
    EXPECT_EQ(GetWeight(), 0);
    EXPECT_EQ(GetSplit(), 0);
    EXPECT_EQ(qehost::AtnjmpCalls(), 0);
    const int code = 79, flag = 0, length = 3, last = -1;
    IpcPutC(&code, &flag, &length, "abc", &last);
    ASSERT_EQ(qehost::IpcRecords().size(), 1u);
    EXPECT_EQ(qehost::IpcRecords()[0].bytes, "abc");
    EXPECT_EQ(qehost::IpcRecords()[0].value(), 0.0);
}

}  // namespace
