// Receives the errors that a data source meets while it reads (for example text that cannot be
// converted), so that reading can go on and the errors be shown later.
#pragma once

#include <string>

class ErrorMonitor {
  public:
    virtual ~ErrorMonitor() = default;
    virtual void Report(const std::string& message) = 0;
    int ErrorCount() const { return errors_; }

  protected:
    void Count() { ++errors_; }

  private:
    int errors_ = 0;
};
