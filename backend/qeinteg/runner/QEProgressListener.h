// Follows one engine run: its state, execution id, error and messages. Progress goes on to the
// host's progress display; displayAllMessages later shows the messages in the host output.
//
// The engine calls back during execute, possibly from its own threads; the state may be read from
// any thread meanwhile. The texts are read once execute has returned.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/runner/QEStatExeListener.h"

class PnProcedure;

class QEINTEG_EXPORT QEProgressListener : public QEStatExeListener {
  public:
    enum ExecutionState : int32_t {
        Initialized = 0,
        Running = 1,
        Succeeded = 2,
        Failed = 3,
        Cancelled = 4,
    };

    // `procedure` (not owned, may be null) receives progress and messages; without one the
    // listener only records.
    explicit QEProgressListener(PnProcedure* procedure);
    ~QEProgressListener() override;
    QEProgressListener(const QEProgressListener&) = delete;
    QEProgressListener& operator=(const QEProgressListener&) = delete;

    void onCancel() override;
    void onError(const std::string& id, const std::string& message,
                 const std::string& detail) override;
    void onInit(const std::string& executionId) override;
    // Messages without an id carry nothing the user needs; they are dropped.
    void onMessage(const std::string& text) override;
    void onProgress(float fraction) override;
    void onSuccess() override;
    void onMessage(const std::string& id, const std::string& text) override;

    // Back to Initialized with no id, error or messages, ready for the next job.
    void reset();

    ExecutionState getState() const;
    std::string getExecutionId() const;
    const std::vector<std::string>& getMessages() const;
    // When the run failed, copies its error out and returns true; otherwise leaves the arguments.
    bool hasError(std::string& id, std::string& message, std::string& detail);

    // Shows each distinct message once (in order of first arrival), then the error (when showError)
    // or the cancellation notice. Nothing without a procedure.
    void displayAllMessages(bool showError);

  private:
    std::atomic<ExecutionState> state_{Initialized};
    std::string errorId_;
    std::string errorMessage_;
    std::string errorDetail_;
    std::string executionId_;
    std::vector<std::string> messages_;
    PnProcedure* procedure_;
    // The buffer handed to the host with each progress report.
    std::unique_ptr<double[]> progressValue_;
};
