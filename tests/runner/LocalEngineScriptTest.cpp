// The local engine's job scripts, driven directly on an executor.
#include <gtest/gtest.h>

#include <memory>

#include "RunnerFakes.h"
#include "common/TestSupport.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace runnertest {
namespace {

using qelocal::JobScript;
using qelocal::LocalEngine;
using Strings = std::vector<std::string>;

// A listener without message ids, recording what it hears.
class PlainListener : public EmbeddedQE::ExecutionListener {
  public:
    void onCancel() override { events.push_back("cancel"); }
    void onError(const std::string& id, const std::string& message,
                 const std::string& detail) override {
        events.push_back("error:" + id + "|" + message + "|" + detail);
    }
    void onInit(const std::string& id) override { events.push_back("init:" + id); }
    void onMessage(const std::string& text) override { events.push_back("message:" + text); }
    void onProgress(float) override { events.push_back("progress"); }
    void onSuccess() override { events.push_back("success"); }
    Strings events;
};

class LocalEngineScriptTest : public RunnerTest {
  protected:
    std::unique_ptr<EmbeddedQE::QEExecutor> newJob(const std::string& text) {
        auto* service = StatQEServiceManager::get(false)->getExecutionService();
        std::unique_ptr<EmbeddedQE::QEExecutor> job(service->createExecutor("en_US"));
        job->prepare(qetest::MainEnv(), text);
        return job;
    }
    QERunner keepsTheJavaManager_{nullptr};
};

TEST_F(LocalEngineScriptTest, ScriptsMatchByTextAndEndAsTold) {
    LocalEngine::instance().addJobScript("alpha",
                                         JobScript().message("M1", "hello").fail("E", "m", "d"));
    LocalEngine::instance().addJobScript("", JobScript().plainMessage("any").throwException("x"));

    PlainListener listener;
    auto alpha = newJob("run alpha now");
    alpha->execute(qetest::MainEnv(), &listener);
    // A listener without ids gets the text only.
    EXPECT_EQ(listener.events, (Strings{"init:local-1", "message:hello", "error:E|m|d"}));

    auto other = newJob("beta");
    EXPECT_THROW(other->execute(qetest::MainEnv(), &listener), EmbeddedQE::Exception);

    // "Next job" wins over registrations, once.
    LocalEngine::instance().setNextJobScript(
        JobScript().throwAt("addInputContainer", {"bad container", "trace", true}));
    auto third = newJob("alpha");
    FakeContainer container("c", "/tmp/c");
    try {
        third->addInputContainer(qetest::MainEnv(), &container);
        FAIL() << "expected a JavaException";
    } catch (const EmbeddedQE::JavaException& e) {
        EXPECT_EQ(e.getMessage(), "bad container");
        EXPECT_EQ(e.getTrace(), "trace");
    }
    auto fourth = newJob("alpha");
    listener.events.clear();
    fourth->execute(qetest::MainEnv(), &listener);
    EXPECT_EQ(listener.events.back(), "error:E|m|d");
    for (auto* job : {alpha.get(), other.get(), third.get(), fourth.get()}) {
        job->release(qetest::MainEnv());
    }
}

TEST_F(LocalEngineScriptTest, AnOutOfRangeNumberFailsTheJobThroughTheListener) {
    // Before, the JSON model's range exception escaped execute() and the listener never heard
    // an end.
    PlainListener listener;
    auto job = newJob("val c = {\"x\":1e400}\nread(c)");
    EXPECT_NO_THROW(job->execute(qetest::MainEnv(), &listener));
    ASSERT_EQ(listener.events.size(), 2u);
    EXPECT_EQ(listener.events.back().rfind("error:QEL_SYNTAX_ERROR|the job text is not valid QEL: "
                                           "line 1, column 9: invalid JSON value",
                                           0),
              0u)
        << listener.events.back();
    job->release(qetest::MainEnv());
}

TEST_F(LocalEngineScriptTest, RowPullFailuresAndForgottenCancelsEndWithAnError) {
    FakeIterator first("first", 2, 1);
    FakeIterator broken("broken", 5, 1);
    broken.beforeRow = [](int row) { return row == 1 ? 7u : 0u; };
    LocalEngine::instance().setNextJobScript(JobScript().pullRows(1));
    auto job = newJob("pull");
    job->addInputIterator(qetest::MainEnv(), &first, 0);
    job->addInputIterator(qetest::MainEnv(), &broken, 0);
    PlainListener listener;
    job->execute(qetest::MainEnv(), &listener);
    EXPECT_EQ(listener.events.back(),
              "error:LOCAL0001E|Reading the input failed.|status 7 from broken");
    const auto pulls = LocalEngine::instance().calls("rowsPulled");
    ASSERT_EQ(pulls.size(), 2u);
    EXPECT_EQ(pulls[0].args, (Strings{"first", "2"}));
    EXPECT_EQ(pulls[1].args, (Strings{"broken", "1"}));
    job->release(qetest::MainEnv());

    LocalEngine::instance().setNextJobScript(
        JobScript().waitForCancel(std::chrono::milliseconds(20)));
    auto waiting = newJob("wait");
    listener.events.clear();
    waiting->execute(qetest::MainEnv(), &listener);
    ASSERT_EQ(listener.events.size(), 2u);
    EXPECT_EQ(listener.events[1].rfind("error:LOCAL0002E", 0), 0u);

    // A cancel before execute ends the run at once, with or without a script.
    auto cancelled = newJob("plain");
    cancelled->cancel(qetest::MainEnv());
    listener.events.clear();
    cancelled->execute(qetest::MainEnv(), &listener);
    EXPECT_EQ(listener.events, (Strings{"init:local-3", "cancel"}));
    waiting->release(qetest::MainEnv());
    cancelled->release(qetest::MainEnv());
}

}  // namespace
}  // namespace runnertest
