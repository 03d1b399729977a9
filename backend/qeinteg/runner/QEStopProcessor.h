// Asked row by row whether a running job should stop: a wall-clock time limit combined with the
// host's user-interrupt check.
#pragma once

#include <chrono>

#include "qeinteg/data/QEStopCheck.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStopProcessor : public QEStopCheck {
  public:
    // The clock starts now. A timeout of 0 or less means no time limit.
    explicit QEStopProcessor(double timeoutSeconds);
    ~QEStopProcessor() override;

    // True when the time limit has passed; then it also tells the user and raises the host's
    // interrupt flag (on every call that finds it). Gives the host the chance to act on a break.
    virtual bool GetCancel();
    // True when the time limit has passed or the host reports a pending interrupt; no side effect.
    bool CheckCancel() const override;

  private:
    bool timedOut() const;

    std::chrono::steady_clock::time_point start_;
    double timeout_;
};
