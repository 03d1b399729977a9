// Base of the front-ends that an interactive host dialog drives step by step.
//
// It owns a runner made without a procedure: nothing goes to the host output and the host's
// interrupt handler is not involved. Every failure becomes text that the dialog reads back with
// hasError and getMessages; no exception leaves tryRunQE or tryGetMetadata.
//
// Used on the dialog's thread only, except cancelExecution, which may come from another thread
// while a run blocks. Once cancelled, every later run of the wrapper fails at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/runner/QEProgressListener.h"

class QERunner;
class QEStatContainer;

class QEINTEG_EXPORT QEInteractive {
  public:
    QEInteractive();
    virtual ~QEInteractive();
    QEInteractive(const QEInteractive&) = delete;
    QEInteractive& operator=(const QEInteractive&) = delete;

    // Runs the prepared job of `runner` (front-ends pass their own runner). False when the run
    // failed or the runner was stopped; the text of a caught exception is kept for hasError
    // (empty when the run just failed: the listener then holds the error).
    bool tryRunQE(QERunner& runner);
    // runner.getMetadata; a false result keeps "unknown QE message" for hasError.
    bool tryGetMetadata(QERunner& runner, const std::string& jobText,
                        const QEStatContainer& container, std::string& result);

    void cancelExecution();
    bool isStopProcessor();
    QEProgressListener::ExecutionState getState() const;
    std::string getExecutionId() const;

    // The listener's error when the run failed; otherwise the kept exception text as message
    // (id and detail untouched). False when there is neither.
    bool hasError(std::string& id, std::string& message, std::string& detail);
    // The wrapper's own messages once it has any (AddMessage, UpdateMessageList), else the
    // listener's. Valid until the next run or message change.
    const std::vector<std::string>& getMessages() const;

    void resetJNI();
    void cleanJRef();
    // Releases the prepared job; the stop mark stays set once cancelled.
    void cleanExecution();

  protected:
    QERunner& runner() { return *_runner; }
    // A host code-page converter for the front-ends' texts.
    void* converter() const { return _converter; }

    void CleanExceptions();
    // Appends the listener's current messages to the wrapper's own list.
    void UpdateMessageList();
    void AddMessage(const std::string& text);
    void CleanMessages();

    std::string exceptionMessage;

  private:
    std::unique_ptr<QERunner> _runner;
    void* _converter;
    bool hasOwnMessages_ = false;
    std::vector<std::string> messages_;
};
