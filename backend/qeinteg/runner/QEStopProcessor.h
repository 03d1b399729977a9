// Tells a row source whether to stop: a time limit combined with the host's interrupt check.
#pragma once

#include <ctime>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStopProcessor {
  public:
    explicit QEStopProcessor(double timeoutSeconds) : timeout_(timeoutSeconds) {}
    virtual ~QEStopProcessor() = default;
    virtual bool GetCancel() { return CheckCancel(); }
    virtual bool CheckCancel() const {
        return timeout_ > 0 &&
               static_cast<double>(std::clock() - start_) / CLOCKS_PER_SEC >= timeout_;
    }

  private:
    std::clock_t start_ = std::clock();
    double timeout_;
};
