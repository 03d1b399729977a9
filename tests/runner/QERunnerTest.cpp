#include <gtest/gtest.h>

#include "RunnerFakes.h"
#include "common/TestSupport.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/platform/host/data/AdjustMeasurementLevels.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/platform/host/testing/AppSettingsTesting.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"

namespace runnertest {
namespace {

using qelocal::JobScript;
using qelocal::LocalEngine;
using Strings = std::vector<std::string>;

TEST_F(RunnerTest, AJobGoesThroughTheEngineInOrderWithItsArguments) {
    PnProcedure procedure("Descriptives");
    QERunner runner(&procedure);
    FakeIterator rows("active", 4, 3);
    FakeContainer input("in", "/tmp/in.zip");
    FakeContainer pmml("PMML", "/tmp/pmml.zip");
    FakeContainer xml("StatXML", "/tmp/xml.zip");
    LocalEngine::instance().addJobScript(
        "descriptives",
        JobScript().executionId("run-7").progress(0.25f).pullRows(3).progress(1.0f).message(
            "AEQ0001I", "done"));

    ASSERT_TRUE(runner.prepareQELJob("read(x) -> descriptives(_)"));
    ASSERT_TRUE(runner.addInputIterator(&rows));
    ASSERT_TRUE(runner.addInputContainer(&input));
    ASSERT_TRUE(runner.addOutputContainer(&pmml));
    ASSERT_TRUE(runner.addOutputContainer(&xml));
    ASSERT_TRUE(runner.execute());
    EXPECT_EQ(runner.getOutputIterator("scores"), nullptr);
    runner.cleanExecution();

    EXPECT_EQ(Operations(),
              (Strings{"createExecutor", "prepare", "addInputIterator", "addInputContainer",
                       "addOutputContainer", "addOutputContainer", "execute", "onInit",
                       "onProgress", "rowsPulled", "onProgress", "onMessage", "onSuccess",
                       "getOutputIterator", "release", "delete"}));
    const auto calls = LocalEngine::instance().calls();
    EXPECT_EQ(calls[0].args, Strings{"en_US"});
    EXPECT_EQ(calls[1].args, Strings{"read(x) -> descriptives(_)"});
    EXPECT_EQ(calls[1].env, qetest::MainEnv());
    EXPECT_EQ(calls[2].args, (Strings{"active", "0"}));
    EXPECT_EQ(calls[4].args, (Strings{"PMML", "/tmp/pmml.zip"}));
    EXPECT_EQ(calls[5].args, (Strings{"StatXML", "/tmp/xml.zip"}));
    EXPECT_EQ(calls[9].args, (Strings{"active", "4"}));
    EXPECT_EQ(rows.valuesRead, 12);

    QEProgressListener* listener = runner.getProgressListener();
    EXPECT_EQ(listener->getState(), QEProgressListener::Succeeded);
    EXPECT_EQ(listener->getExecutionId(), "run-7");
    EXPECT_EQ(listener->getMessages(), Strings{"done"});

    const auto progress = qehost::IpcRecords();
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].code, 79);
    EXPECT_EQ(progress[0].flag, 0);
    EXPECT_EQ(progress[0].length, 8);
    EXPECT_EQ(progress[0].last, -1);
    EXPECT_DOUBLE_EQ(progress[0].value(), 0.25);
    EXPECT_DOUBLE_EQ(progress[1].value(), 1.0);
}

// A Java wrapper that notes, when the manager destroys it, whether the job was released already.
class ReleaseWitness : public JNIQelAccessor {
  public:
    explicit ReleaseWitness(bool* releasedFirst) : releasedFirst_(releasedFirst) {}
    ~ReleaseWitness() override {
        *releasedFirst_ = !LocalEngine::instance().calls("release").empty();
    }

  private:
    bool* releasedFirst_;
};

TEST_F(RunnerTest, APreparedJobIsReleasedByTheNextPrepareAndByTheDestructor) {
    bool releasedBeforeJavaCleanUp = false;
    {
        QERunner runner(nullptr);
        runner.prepareQELJob("first");
        // "second" is no QEL: without a script the local engine would run it and fail.
        LocalEngine::instance().setNextJobScript(JobScript());
        runner.prepareQELJob("second");
        EXPECT_EQ(Operations(), (Strings{"createExecutor", "prepare", "release", "delete",
                                         "createExecutor", "prepare"}));
        EXPECT_TRUE(runner.execute());
        EXPECT_EQ(Operations(2),
                  (Strings{"createExecutor", "prepare", "execute", "onInit", "onSuccess"}));
        LocalEngine::instance().reset();
        JNIObjectManager::getManager()->addtoCleanList(
            new ReleaseWitness(&releasedBeforeJavaCleanUp));
    }
    // The destructor released the job, and did so before the Java references were cleaned.
    EXPECT_EQ(Operations(2), (Strings{"release", "delete"}));
    EXPECT_TRUE(releasedBeforeJavaCleanUp);
    // Without a script a job simply succeeds; a runner without procedure sends no progress.
    EXPECT_TRUE(qehost::IpcRecords().empty());
}

TEST_F(RunnerTest, WeightAndSplitAreClearedForTheRunAndRestoredAfterwards) {
    SetWeight(5);
    SetSplit(3);
    ProcedureDataSource ds(4);
    {
        PnProcedure procedure("p");
        QERunner runner(&procedure);
        ASSERT_TRUE(runner.prepareActiveDS(ds, /*weightSupported=*/false,
                                           /*splitSupported=*/true));
        EXPECT_EQ(GetWeight(), 0);
        EXPECT_EQ(GetSplit(), 0);
        EXPECT_TRUE(runner.getParserMessage()->WeightDisabled());
        EXPECT_FALSE(runner.getParserMessage()->SplitDisabled());
        EXPECT_EQ(qehost::AdjustMeasurementLevelsCalls(),
                  std::vector<const ProcedureDataSource*>{&ds});
        EXPECT_FALSE(ds.SplitEndCheck());
    }
    EXPECT_EQ(GetWeight(), 5);
    EXPECT_EQ(GetSplit(), 3);
    EXPECT_EQ(qehost::DisableWeightCount(), 1);
    EXPECT_EQ(qehost::DisableSplitCount(), 0);

    // A data source without columns leaves everything alone, and nothing is written back.
    ProcedureDataSource empty(0);
    {
        QERunner runner(nullptr);
        EXPECT_TRUE(runner.prepareActiveDS(empty, false, false));
        EXPECT_EQ(GetWeight(), 5);
        SetWeight(9);
    }
    EXPECT_EQ(GetWeight(), 9);
    EXPECT_EQ(qehost::AdjustMeasurementLevelsCalls().size(), 1u);
    EXPECT_TRUE(empty.SplitEndCheck());
}

TEST_F(RunnerTest, AFailedRunReturnsFalseAndShowsItsMessagesWithOrWithoutTheError) {
    qehost::SetTranslation("boom", "TRANSLATED");
    PnProcedure procedure("p");
    QERunner runner(&procedure);
    LocalEngine::instance().setNextJobScript(JobScript()
                                                 .message("A1", "same")
                                                 .message("A2", "same")
                                                 .message("AEQAR0051W", "hidden")
                                                 .message("", "no id")
                                                 .message("A3", "other")
                                                 .message("A1", "same")
                                                 .fail("E1", "boom", "at line 3"));
    runner.prepareQELJob("job");
    EXPECT_FALSE(runner.execute());

    std::string id = "x", message, detail;
    ASSERT_TRUE(runner.getProgressListener()->hasError(id, message, detail));
    EXPECT_EQ(id, "E1");
    EXPECT_EQ(message, "boom");
    EXPECT_EQ(detail, "at line 3");
    EXPECT_EQ(runner.getProgressListener()->getMessages(),
              (Strings{"same", "same", "other", "same"}));

    runner.displayAllMessages(/*showError=*/false);
    auto shown = qehost::HostOutput::instance().errors();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "same");
    EXPECT_EQ(shown[0].procedure, "p");
    EXPECT_EQ(shown[0].show, 2);
    EXPECT_EQ(shown[0].level, 2);
    EXPECT_EQ(shown[1].text, "other");

    // With showError the error text follows at level 3, untranslated.
    runner.displayAllMessages(/*showError=*/true);
    shown = qehost::HostOutput::instance().errors();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[4].text, "boom");
    EXPECT_EQ(shown[4].level, 3);
    // The messages stay for later calls.
    EXPECT_EQ(runner.getProgressListener()->getMessages().size(), 4u);

    // The next job starts from a clean listener.
    runner.prepareQELJob("job");
    EXPECT_TRUE(runner.getProgressListener()->getMessages().empty());
    EXPECT_FALSE(runner.getProgressListener()->hasError(id, message, detail));
    EXPECT_EQ(id, "E1");
}

TEST_F(RunnerTest, EngineExceptionsPassToTheCallerAndTheInterruptHandlerIsPutBack) {
    struct Previous : TavoAdapter::InterruptHandler {
        void Interrupt() override {}
    } previous;
    GetAdapter()->SetInterruptHandler(&previous);

    PnProcedure procedure("p");
    QERunner runner(&procedure);
    TavoAdapter::InterruptHandler* during = nullptr;
    bool runnersHandler = false;
    LocalEngine::instance().setNextJobScript(
        JobScript()
            .call([&] {
                during = GetAdapter()->GetInterruptHandler();
                runnersHandler = dynamic_cast<QERunner::InterruptHandler*>(during) != nullptr;
            })
            .throwJavaException("java.lang.IllegalStateException: bad", "at Foo.bar(Foo.java:1)")
            .throwAt("getOutputIterator", {"no such output", "", false}));
    runner.prepareQELJob("job");
    try {
        runner.execute();
        FAIL() << "execute should have thrown";
    } catch (const EmbeddedQE::JavaException& e) {
        EXPECT_EQ(e.getMessage(), "java.lang.IllegalStateException: bad");
        EXPECT_EQ(e.getTrace(), "at Foo.bar(Foo.java:1)");
    }
    ASSERT_NE(during, nullptr);
    EXPECT_NE(during, &previous);
    EXPECT_TRUE(runnersHandler);
    EXPECT_EQ(GetAdapter()->GetInterruptHandler(), &previous);
    EXPECT_EQ(runner.getOutputIterator("x"), nullptr);

    // A failure while preparing passes too; the job made for it is still released.
    LocalEngine::instance().setNextJobScript(
        JobScript().throwAt("prepare", {"cannot parse", "", false}));
    EXPECT_THROW(runner.prepareQELJob("bad job"), EmbeddedQE::Exception);
    runner.cleanExecution();
    EXPECT_EQ(Operations(2).back(), "delete");

    // A runner without procedure does not touch the host's handler.
    QERunner plain(nullptr);
    LocalEngine::instance().setNextJobScript(
        JobScript().call([&] { during = GetAdapter()->GetInterruptHandler(); }));
    plain.prepareQELJob("job");
    EXPECT_TRUE(plain.execute());
    EXPECT_EQ(during, &previous);
}

TEST_F(RunnerTest, AnIteratorReportingCancelEndsTheRunCancelled) {
    PnProcedure procedure("p");
    QERunner runner(&procedure);
    FakeIterator rows("active", 10, 1);
    rows.beforeRow = [](int row) { return row == 3 ? 3u : 0u; };
    LocalEngine::instance().setNextJobScript(JobScript().pullRows(1));
    runner.prepareQELJob("job");
    runner.addInputIterator(&rows);
    EXPECT_TRUE(runner.execute());
    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Cancelled);
    EXPECT_EQ(LocalEngine::instance().calls("rowsPulled")[0].args, (Strings{"active", "3"}));

    qehost::SetTranslation("The Tavo Statistics run will terminate now.", "Abbruch.");
    runner.displayAllMessages(true);
    const auto shown = qehost::HostOutput::instance().errors();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Abbruch.");
    EXPECT_EQ(shown[0].level, 3);
}

TEST_F(RunnerTest, EveryJobUsesTheHostLocaleReadWhenItIsPrepared) {
    QERunner runner(nullptr);
    qehost::testing::SetLocale("de_DE");
    runner.prepareQELJob("a");
    qehost::testing::SetLocale("fr_FR");
    runner.UpdataQEAppSetting();
    runner.prepareQELJob("b");
    const auto created = LocalEngine::instance().calls("createExecutor");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].args, Strings{"de_DE"});
    EXPECT_EQ(created[1].args, Strings{"fr_FR"});
}

TEST_F(RunnerTest, JobOperationsWithoutAPreparedJobStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FakeIterator rows("r", 1, 1);
    FakeContainer container("c", "/tmp/c");
    EXPECT_DEATH(
        {
            QERunner runner(nullptr);
            runner.addInputIterator(&rows);
        },
        "_qeExecutor != 0");
    EXPECT_DEATH(
        {
            QERunner runner(nullptr);
            runner.execute();
        },
        "_qeExecutor != 0");
    EXPECT_DEATH(
        {
            QERunner runner(nullptr);
            runner.prepareQELJob("job");
            runner.cleanExecution();
            runner.addOutputContainer(&container);
        },
        "_qeExecutor != 0");
    EXPECT_DEATH(
        {
            qehost::testing::SetAppHostAvailable(false);
            QERunner runner(nullptr);
        },
        "pAppHost != 0");
}

}  // namespace
}  // namespace runnertest
