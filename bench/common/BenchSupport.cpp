#include "common/BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/host/testing/HostTesting.h"

namespace qeinteg::bench {
namespace {

std::string& Root() {
    static std::string root;
    return root;
}

double Ratio(const std::map<std::string, double>& times, const std::string& ours,
             const std::string& baseline) {
    const auto a = times.find(ours);
    const auto b = times.find(baseline);
    if (a == times.end() || b == times.end() || b->second <= 0)
        return 0;
    return a->second / b->second;
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
            real[run.run_name.function_name] = run.GetAdjustedRealTime();
            cpu[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::RealRatio(const std::string& ours, const std::string& baseline) const {
    return Ratio(real, ours, baseline);
}

double RatioReporter::CpuRatio(const std::string& ours, const std::string& baseline) const {
    return Ratio(cpu, ours, baseline);
}

bool StartJvmAndHost() {
    if (qeinteg::jni::AttachCurrentThread() == nullptr) {
        std::fprintf(stderr, "could not start the JVM\n");
        return false;
    }
    char root[] = "/tmp/qeinteg-bench-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        std::perror("mkdtemp");
        return false;
    }
    Root() = root;
    qehost::testing::ResetForTest(root);
    return true;
}

const std::string& HostRoot() {
    return Root();
}

void StopHost() {
    if (Root().empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(Root(), ignored);
    Root().clear();
}

}  // namespace qeinteg::bench
