// How a test wants one job on the local engine to behave.
//
// A script is a list of steps run in order by execute(), then one ending. Before every step the job
// looks at its cancel request: once cancel() has been called it ends with onCancel. Example:
//
//   qelocal::JobScript script;
//   script.progress(0.5f).message("ID1", "half way").pullRows(2).waitForCancel();
//   qelocal::LocalEngine::instance().addJobScript("descriptives", script);
//
// Without a script (or with an empty one) a job sends onInit and onSuccess.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/CancelSignal.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"

namespace qelocal {

class JobScript {
  public:
    struct Step {
        enum class Kind { Progress, Message, PlainMessage, PullRows, WaitForCancel, Call };
        Kind kind = Kind::Progress;
        float fraction = 0;
        std::string id;
        std::string text;
        size_t columns = 0;
        std::chrono::milliseconds limit{0};
        std::function<void()> call;
    };

    enum class Ending { Success, Error, ThrowJavaException, ThrowException };

    // The id onInit reports (default "local-<executor number>").
    JobScript& executionId(std::string id);
    JobScript& progress(float fraction);
    // onMessage(id, text) on an extended listener, onMessage(text) on a plain one.
    JobScript& message(std::string id, std::string text);
    JobScript& plainMessage(std::string text);
    // Pulls every row of every input iterator in registration order, reading fields 0..columns-1
    // of each row. Status 3 from nextRecord ends the job with onCancel; another failure status
    // ends it with onError.
    JobScript& pullRows(size_t columns);
    // Blocks until cancel() is called, then ends with onCancel. Gives up with onError after
    // `limit`, so a test that forgets to cancel fails instead of hanging.
    JobScript& waitForCancel(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Runs test code inside execute, on the calling thread.
    JobScript& call(std::function<void()> fn);

    // Endings (the last one set wins; success by default).
    JobScript& succeed();
    JobScript& fail(std::string id, std::string message, std::string detail);
    JobScript& throwJavaException(std::string message, std::string trace);
    JobScript& throwException(std::string message);

    // Makes an executor operation other than execute ("prepare", "addInputContainer",
    // "addOutputContainer", "addInputIterator", "getOutputIterator", "cancel", "release") throw.
    JobScript& throwAt(const std::string& operation, ScriptedFailure failure);

    const std::vector<Step>& steps() const { return steps_; }
    Ending ending() const { return ending_; }
    // Throws the failure scripted for `operation`, if any.
    void maybeThrowAt(const std::string& operation) const;

    // Runs the script as the body of execute().
    struct Run {
        EmbeddedQE::ExecutionListener* listener = nullptr;
        const std::vector<EmbeddedQE::RowDataIterator*>* inputs = nullptr;
        const CancelSignal* cancel = nullptr;
        int executor = 0;
        JNIEnv* env = nullptr;
    };
    void run(const Run& run) const;

  private:
    std::string executionId_;
    std::vector<Step> steps_;
    Ending ending_ = Ending::Success;
    std::string endId_, endMessage_, endDetail_;
    std::map<std::string, ScriptedFailure> throwAt_;
};

// Sends listener events and records each of them on the engine.
class ListenerEvents {
  public:
    ListenerEvents(EmbeddedQE::ExecutionListener* listener, int executor, JNIEnv* env)
        : listener_(listener), executor_(executor), env_(env) {}

    void init(const std::string& executionId);
    void progress(float fraction);
    void message(const std::string& id, const std::string& text);
    void plainMessage(const std::string& text);
    void success();
    void error(const std::string& id, const std::string& message, const std::string& detail);
    void cancel();

  private:
    void record(const std::string& operation, std::vector<std::string> args);

    EmbeddedQE::ExecutionListener* listener_;
    int executor_;
    JNIEnv* env_;
};

}  // namespace qelocal
