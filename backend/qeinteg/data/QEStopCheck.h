// What the data layer asks, row by row, of whoever decides that a running job should stop. The
// runner's QEStopProcessor implements it; the data layer never needs to know how.
#pragma once

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStopCheck {
  public:
    virtual ~QEStopCheck() = default;
    // True when the job should stop; no side effect, so it may be asked for every row.
    virtual bool CheckCancel() const = 0;
};
