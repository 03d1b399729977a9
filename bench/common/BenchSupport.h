// What the benchmark programs share: a console reporter that keeps each run's times so a program
// can print its ratios against the baseline at the end, and the start-up of the JVM and of a
// fresh host temporary root.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qeinteg::bench {

// Prints as usual and keeps each run's adjusted real and CPU time by benchmark name.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // The ratio ours / baseline of the kept real (or CPU) times; 0 when either is missing.
    double RealRatio(const std::string& ours, const std::string& baseline) const;
    double CpuRatio(const std::string& ours, const std::string& baseline) const;

    std::map<std::string, double> real;
    std::map<std::string, double> cpu;
};

// Starts the JVM on this thread and roots the host's temporary directories in a new directory
// under /tmp. Returns false (after saying why on stderr) when either fails.
bool StartJvmAndHost();
// The directory StartJvmAndHost made; removed by StopHost.
const std::string& HostRoot();
void StopHost();

}  // namespace qeinteg::bench
