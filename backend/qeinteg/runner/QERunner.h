// The engine job context of one host procedure: prepares the active dataset, submits a QEL job
// with its inputs and outputs, runs it while the host may interrupt, and shows the run's messages.
//
// Everything runs on the procedure thread except cancelExecution (and the installed interrupt
// handler), which the host may call from its interrupt thread while execute blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/qeinteg_export.h"

class ParserMessage;
class PnProcedure;
class ProcedureDataSource;
class QEProgressListener;
class QERunImpl;
class QEStatContainer;
class QEStatDataIterator;

class QEINTEG_EXPORT QERunner {
  public:
    // Installed as the host adapter's interrupt handler while a run of a runner with a procedure
    // executes; an interrupt cancels that run.
    class QEINTEG_EXPORT InterruptHandler : public TavoAdapter::InterruptHandler {
      public:
        explicit InterruptHandler(QERunner* runner) : runner_(runner) {}
        ~InterruptHandler() override;
        void Interrupt() override;

      private:
        QERunner* runner_;
    };

    // `procedure` (not owned, may be null) receives progress and messages and decides whether an
    // interrupt raises the host's interrupt flag.
    explicit QERunner(PnProcedure* procedure);
    // Restores the weight and split settings that prepareActiveDS cleared, releases a prepared job
    // and the job's Java references.
    virtual ~QERunner();
    QERunner(const QERunner&) = delete;
    QERunner& operator=(const QERunner&) = delete;

    // Clears the host's weight and split settings for the run (restored by the destructor). Always
    // true.
    bool prepareActiveDS(ProcedureDataSource& ds, bool weightSupported, bool splitSupported);
    // Makes a new executor for `jobText`, releasing the previous one. Engine exceptions pass.
    bool prepareQELJob(const std::string& jobText);

    // These require a prepared job (checked: "_qeExecutor != 0").
    bool addInputIterator(QEStatDataIterator* it);
    bool addInputContainer(QEStatContainer* container);
    bool addOutputContainer(QEStatContainer* container);
    // A row iterator over a named output, or null (also on any engine exception). The caller
    // disposes it.
    EmbeddedQE::RowDataIterator* getOutputIterator(const std::string& name);
    // Runs the job. False when the runner was stopped before (without calling the engine) or when
    // the run failed; true for a run that succeeded or was cancelled.
    bool execute();

    // Cancels the running job (from any thread) and marks the runner stopped.
    void cancelExecution();
    bool isStopProcessor();
    // Clears the stopped mark; a runner without a procedure stays stopped once cancelled.
    void resetStopRrocessor();

    QEProgressListener* getProgressListener();
    const ParserMessage* getParserMessage() const;
    void displayAllMessages(bool showError);
    void displayMessage();
    bool displayOutputs();

    // Releases the prepared job, if any.
    void cleanExecution();
    void resetJNI();
    void cleanJRef();
    // Reads the host's locale again; the next job uses it.
    void UpdataQEAppSetting();

  private:
    std::unique_ptr<QERunImpl> _impl;
    int32_t savedWeight_ = -1;
    int32_t savedSplit_ = 0;
    std::unique_ptr<ParserMessage> parserMessage_;
    PnProcedure* procedure_;
    std::unique_ptr<QEProgressListener> progressListener_;
};
