// Timed diagnostic lines in a host pivot table titled "Debug": per line the time of day, the time
// since the previous line and since the start, and, when the collector is destroyed, each line's
// share of the total. With a total of zero (all lines in the same millisecond) the share cells stay
// empty rather than showing a number that is not one.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

class PnHeading;

class QEINTEG_EXPORT QEDebug {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Makes the table under `heading` (not owned; must outlive the collector). `clock` replaces
    // the system clock (tests).
    explicit QEDebug(PnHeading* heading, Clock clock = {});
    ~QEDebug();
    // A copy continues the original's clock but writes its own table: the two never share
    // state.
    QEDebug(const QEDebug& other);
    QEDebug& operator=(const QEDebug& other);

    QEDebug& addOutputLine(const std::string& text);

  private:
    struct State;
    std::unique_ptr<State> state_;
};
