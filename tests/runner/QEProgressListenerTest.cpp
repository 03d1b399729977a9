#include <gtest/gtest.h>

#include "RunnerFakes.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"
#include "qeinteg/runner/QEProgressListener.h"

namespace runnertest {
namespace {

using Strings = std::vector<std::string>;

TEST(QEProgressListenerTest, StatesFollowTheCallbacksAndResetForgetsTheRun) {
    PnProcedure procedure("p");
    QEProgressListener listener(&procedure);
    EXPECT_EQ(listener.getState(), QEProgressListener::Initialized);
    listener.onInit("e1");
    listener.onProgress(0.5f);
    EXPECT_EQ(listener.getState(), QEProgressListener::Running);
    listener.onMessage("plain text is ignored");
    listener.onMessage("X1", "");
    listener.onMessage("AEQAE2264I", "hidden");
    listener.onMessage("AEQAF0151E", "hidden");
    EXPECT_EQ(listener.getMessages(), Strings{""});
    listener.onError("E", "m", "d");
    EXPECT_EQ(listener.getState(), QEProgressListener::Failed);
    listener.onInit("e2");  // a new run
    EXPECT_EQ(listener.getState(), QEProgressListener::Initialized);
    EXPECT_EQ(listener.getExecutionId(), "e2");
    listener.onSuccess();
    EXPECT_EQ(listener.getState(), QEProgressListener::Succeeded);
    std::string id = "keep";
    std::string message, detail;
    EXPECT_FALSE(listener.hasError(id, message, detail));
    EXPECT_EQ(id, "keep");

    listener.reset();
    EXPECT_EQ(listener.getState(), QEProgressListener::Initialized);
    EXPECT_EQ(listener.getExecutionId(), "");
    EXPECT_TRUE(listener.getMessages().empty());
    // Progress still reaches the host after a reset.
    listener.onProgress(0.75f);
    ASSERT_EQ(qehost::IpcRecords().size(), 2u);
    EXPECT_DOUBLE_EQ(qehost::IpcRecords()[1].value(), 0.75);
}

TEST(QEProgressListenerTest, WithoutAProcedureNothingIsShownOrSent) {
    QEProgressListener listener(nullptr);
    listener.onProgress(0.5f);
    listener.onMessage("A", "text");
    listener.onError("E", "m", "d");
    listener.displayAllMessages(true);
    EXPECT_TRUE(qehost::IpcRecords().empty());
    EXPECT_TRUE(qehost::HostOutput::instance().errors().empty());
    EXPECT_EQ(listener.getMessages(), Strings{"text"});
}

}  // namespace
}  // namespace runnertest
