// Cancellation with real threads: execute blocks inside the engine while another thread cancels.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "RunnerFakes.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"
#include "qeinteg/platform/jvm/TavoJVM.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/QEStopProcessor.h"

namespace runnertest {
namespace {

using qelocal::JobScript;
using qelocal::LocalEngine;
using namespace std::chrono_literals;

constexpr int kIterations = 200;

// Cancels through `cancel` from a thread of its own once the engine blocks. Reports whether the
// thread was detached again afterwards.
template <typename Cancel>
std::thread CancelWhenBlocked(Cancel cancel, bool* detachedAfterwards) {
    return std::thread([cancel, detachedAfterwards] {
        if (!LocalEngine::instance().waitForBlockedJob(10s))
            return;
        cancel();
        *detachedAfterwards = TavoJVM::GetInstance().GetEnvIfAttached() == nullptr;
    });
}

void ExpectCancelledRun(QERunner& runner, bool executeResult) {
    EXPECT_TRUE(executeResult);
    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Cancelled);
    EXPECT_TRUE(runner.isStopProcessor());
    // Stopped: the next execute returns false without reaching the engine.
    const size_t executes = LocalEngine::instance().calls("execute").size();
    EXPECT_FALSE(runner.execute());
    EXPECT_EQ(LocalEngine::instance().calls("execute").size(), executes);
}

TEST_F(RunnerTest, CancelExecutionFromAnotherThreadEndsABlockedRun) {
    for (int i = 0; i < kIterations; ++i) {
        SCOPED_TRACE(i);
        LocalEngine::instance().reset();
        SetInterruptFlag(0);
        PnProcedure procedure("p");
        QERunner runner(&procedure);
        LocalEngine::instance().setNextJobScript(JobScript().progress(0.1f).waitForCancel());
        runner.prepareQELJob("job");

        bool detached = false;
        std::thread canceller =
            CancelWhenBlocked([&runner] { runner.cancelExecution(); }, &detached);
        const bool result = runner.execute();
        canceller.join();

        ExpectCancelledRun(runner, result);
        EXPECT_TRUE(detached);
        EXPECT_EQ(GetInterruptFlag(), -1);
        const auto cancels = LocalEngine::instance().calls("cancel");
        ASSERT_EQ(cancels.size(), 1u);
        EXPECT_NE(cancels[0].env, nullptr);
        EXPECT_NE(cancels[0].thread, std::this_thread::get_id());

        // A runner with a procedure may run again once reset.
        runner.resetStopRrocessor();
        EXPECT_FALSE(runner.isStopProcessor());
        LocalEngine::instance().setNextJobScript(JobScript());  // "again" is no QEL
        runner.prepareQELJob("again");
        EXPECT_TRUE(runner.execute());
    }
}

TEST_F(RunnerTest, TheHostInterruptPathCancelsThroughTheInstalledHandler) {
    for (int i = 0; i < kIterations; ++i) {
        SCOPED_TRACE(i);
        LocalEngine::instance().reset();
        PnProcedure procedure("p");
        QERunner runner(&procedure);
        LocalEngine::instance().setNextJobScript(JobScript().waitForCancel());
        runner.prepareQELJob("job");

        bool detached = false;
        bool delivered = false;
        std::thread host = CancelWhenBlocked(
            [&delivered] { delivered = GetAdapter()->DeliverInterrupt(); }, &detached);
        const bool result = runner.execute();
        host.join();

        EXPECT_TRUE(delivered);
        ExpectCancelledRun(runner, result);
        EXPECT_TRUE(detached);
        EXPECT_EQ(GetAdapter()->GetInterruptHandler(), nullptr);
    }
}

TEST_F(RunnerTest, ARunnerWithoutProcedureStaysStoppedAndLeavesTheInterruptFlag) {
    QERunner runner(nullptr);
    LocalEngine::instance().setNextJobScript(JobScript().waitForCancel());
    runner.prepareQELJob("job");
    bool detached = false;
    std::thread canceller = CancelWhenBlocked([&runner] { runner.cancelExecution(); }, &detached);
    const bool result = runner.execute();
    canceller.join();
    ExpectCancelledRun(runner, result);
    EXPECT_EQ(GetInterruptFlag(), 0);
    runner.resetStopRrocessor();
    EXPECT_TRUE(runner.isStopProcessor());
    EXPECT_FALSE(runner.execute());

    // Cancelling without a job only marks the runner stopped.
    QERunner idle(nullptr);
    idle.cancelExecution();
    EXPECT_TRUE(idle.isStopProcessor());
    EXPECT_TRUE(LocalEngine::instance().calls("cancel").size() == 1u);
}

TEST_F(RunnerTest, ACancelOnTheProcedureThreadKeepsItAttached) {
    JNIEnv* env = qetest::MainEnv();
    PnProcedure procedure("p");
    QERunner runner(&procedure);
    LocalEngine::instance().setNextJobScript(
        JobScript().call([&runner] { runner.cancelExecution(); }).progress(0.5f));
    runner.prepareQELJob("job");
    EXPECT_TRUE(runner.execute());
    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Cancelled);
    EXPECT_EQ(LocalEngine::instance().calls("cancel")[0].env, env);
    EXPECT_EQ(TavoJVM::GetInstance().GetEnvIfAttached(), env);
    // The environment still works.
    jclass string = env->FindClass("java/lang/String");
    ASSERT_NE(string, nullptr);
    env->DeleteLocalRef(string);
}

TEST_F(RunnerTest, ABreakSeenByTheStopProcessorWhileRowsArePulledCancelsTheRun) {
    PnProcedure procedure("p");
    QERunner runner(&procedure);
    QEStopProcessor stop(0);
    FakeIterator rows("active", 100, 2);
    // The iterator asks the stop processor before each row, as the dataset iterator does.
    rows.beforeRow = [&stop](int row) {
        if (row == 5)
            qehost::SetPendingBreak(true);
        return stop.GetCancel() ? 3u : 0u;
    };
    LocalEngine::instance().setNextJobScript(JobScript().pullRows(2));
    runner.prepareQELJob("job");
    runner.addInputIterator(&rows);
    EXPECT_TRUE(runner.execute());

    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Cancelled);
    EXPECT_TRUE(runner.isStopProcessor());
    EXPECT_EQ(qehost::AtnjmpBreaks(), 1);
    // The engine notices the cancel at its next row.
    EXPECT_EQ(LocalEngine::instance().calls("rowsPulled")[0].args[1], "6");
    EXPECT_EQ(TavoJVM::GetInstance().GetEnvIfAttached(), qetest::MainEnv());
}

}  // namespace
}  // namespace runnertest
