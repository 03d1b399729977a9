#include "qeinteg/platform/host/process/TavoErrorMonitor.h"

#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

std::mutex& Mutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& Messages() {
    static auto* messages = new std::vector<std::string>();
    return *messages;
}

const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    std::lock_guard<std::mutex> lock(Mutex());
    Messages().clear();
});

}  // namespace

void Reporter(int, const char* text) {
    std::lock_guard<std::mutex> lock(Mutex());
    Messages().emplace_back(text != nullptr ? text : "");
}

namespace qehost {
std::vector<std::string> ReportedMessages() {
    std::lock_guard<std::mutex> lock(Mutex());
    return Messages();
}
}  // namespace qehost

void TavoErrorMonitor::Report(const std::string& message) {
    Count();
    if (reporter_ != nullptr)
        reporter_(3, message.c_str());
}
