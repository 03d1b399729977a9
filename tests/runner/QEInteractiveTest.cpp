// The interactive wrapper: failures become stored texts, messages can be replaced.
#include <gtest/gtest.h>

#include "RunnerFakes.h"
#include "qeinteg/runner/QEInteractive.h"
#include "qeinteg/runner/QERunner.h"

namespace runnertest {
namespace {

using qelocal::JobScript;
using qelocal::LocalEngine;
using Strings = std::vector<std::string>;

// A front-end in miniature: runs one job on the wrapper's own runner.
class Dialog : public QEInteractive {
  public:
    bool run(const JobScript& script) {
        CleanExceptions();
        LocalEngine::instance().setNextJobScript(script);
        runner().prepareQELJob("job");
        return tryRunQE(runner());
    }
    bool metadata(std::string& result) {
        FakeContainer container("DataModel", "/tmp/model.zip");
        return tryGetMetadata(runner(), "read(x)", container, result);
    }
    const std::string& exception() const { return exceptionMessage; }
    using QEInteractive::AddMessage;
    using QEInteractive::CleanMessages;
    using QEInteractive::UpdateMessageList;
};

using QEInteractiveTest = RunnerTest;

TEST_F(QEInteractiveTest, JavaExceptionBecomesMessageWithTrace) {
    Dialog dialog;
    EXPECT_FALSE(dialog.run(JobScript().throwJavaException("Bad column", "at A.b(A.java:3)")));
    std::string id = "id", message, detail = "detail";
    ASSERT_TRUE(dialog.hasError(id, message, detail));
    EXPECT_EQ(message, "Bad column\nTrace message:\nat A.b(A.java:3)");
    EXPECT_EQ(id, "id");  // untouched
    EXPECT_EQ(detail, "detail");

    EXPECT_FALSE(dialog.run(JobScript().throwException("No engine")));
    ASSERT_TRUE(dialog.hasError(id, message, detail));
    EXPECT_EQ(message, "No engine");

    // A successful run clears the stored text.
    EXPECT_TRUE(dialog.run(JobScript()));
    message = "kept";
    EXPECT_FALSE(dialog.hasError(id, message, detail));
    EXPECT_EQ(message, "kept");
}

TEST_F(QEInteractiveTest, ListenerErrorIsPreferredOverStoredText) {
    Dialog dialog;
    EXPECT_FALSE(dialog.run(JobScript().fail("QEL_SYNTAX_ERROR", "line 1", "near ->")));
    EXPECT_EQ(dialog.exception(), "");  // execute returned false without an exception
    std::string id, message, detail;
    ASSERT_TRUE(dialog.hasError(id, message, detail));
    EXPECT_EQ(id, "QEL_SYNTAX_ERROR");
    EXPECT_EQ(message, "line 1");
    EXPECT_EQ(detail, "near ->");
    EXPECT_EQ(dialog.getState(), QEProgressListener::Failed);
}

TEST_F(QEInteractiveTest, OwnMessagesHideTheListenersUntilCleaned) {
    Dialog dialog;
    ASSERT_TRUE(dialog.run(JobScript().message("M1", "first").message("M2", "second")));
    EXPECT_EQ(dialog.getMessages(), (Strings{"first", "second"}));
    dialog.AddMessage("mine");
    EXPECT_EQ(dialog.getMessages(), Strings{"mine"});
    dialog.UpdateMessageList();
    EXPECT_EQ(dialog.getMessages(), (Strings{"mine", "first", "second"}));
    dialog.CleanMessages();
    EXPECT_EQ(dialog.getMessages(), (Strings{"first", "second"}));
    dialog.UpdateMessageList();  // an own list even when it only copies the listener's
    ASSERT_TRUE(dialog.run(JobScript().message("M3", "third")));
    EXPECT_EQ(dialog.getMessages(), (Strings{"first", "second"}));
}

TEST_F(QEInteractiveTest, AfterCancelEveryRunFailsWithoutExceptionText) {
    Dialog dialog;
    dialog.cancelExecution();
    EXPECT_TRUE(dialog.isStopProcessor());
    EXPECT_FALSE(dialog.run(JobScript()));
    EXPECT_EQ(dialog.exception(), "");
    std::string id, message, detail;
    EXPECT_FALSE(dialog.hasError(id, message, detail));
    EXPECT_TRUE(LocalEngine::instance().calls("execute").empty());
    // Cleaning the execution does not lift the stop of a runner without a procedure.
    dialog.cleanExecution();
    EXPECT_TRUE(dialog.isStopProcessor());
    EXPECT_FALSE(dialog.run(JobScript()));
}

TEST_F(QEInteractiveTest, EmptyMetadataReplyIsReportedAsUnknownMessage) {
    Dialog dialog;
    std::string result = "old";
    EXPECT_FALSE(dialog.metadata(result));
    EXPECT_EQ(dialog.exception(), "unknown QE message");
    std::string id, message, detail;
    ASSERT_TRUE(dialog.hasError(id, message, detail));
    EXPECT_EQ(message, "unknown QE message");

    qelocal::MetadataReply failure;
    failure.failure = qelocal::ScriptedFailure{"bad job", "trace", true};
    LocalEngine::instance().scriptMetadata("metadata", failure);
    EXPECT_FALSE(dialog.metadata(result));
    EXPECT_EQ(dialog.exception(), "unknown QE message");

    qelocal::MetadataReply model;
    model.text = "<dataModel/>";
    LocalEngine::instance().scriptMetadata("metadata", model);
    EXPECT_TRUE(dialog.metadata(result));
    EXPECT_EQ(result, "<dataModel/>");
    EXPECT_EQ(dialog.exception(), "");
}

}  // namespace
}  // namespace runnertest
