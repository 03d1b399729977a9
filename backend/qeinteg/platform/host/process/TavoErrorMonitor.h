// An error monitor that passes every error to a host reporter function (by default the host's
// Reporter, which puts the text into the host's message log).
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/process/ErrorMonitor.h"

// The host's message reporter: level 2 is a warning, 3 an error.
void Reporter(int level, const char* text);

namespace qehost {
// Test access to what Reporter received since the last reset, oldest first.
std::vector<std::string> ReportedMessages();
}  // namespace qehost

class TavoErrorMonitor : public ErrorMonitor {
  public:
    using ReporterFunction = void (*)(int level, const char* text);
    explicit TavoErrorMonitor(ReporterFunction reporter = &Reporter) : reporter_(reporter) {}
    void Report(const std::string& message) override;

  private:
    ReporterFunction reporter_;
};
