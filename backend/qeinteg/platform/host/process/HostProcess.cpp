#include "qeinteg/platform/host/process/HostProcess.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/platform/host/testing/ProcessTesting.h"

namespace {

// Written from signal handlers, so a lock-free atomic of its own.
std::atomic<bool> g_pendingBreak{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct ProcessState {
    std::atomic<int> weight{0};
    std::atomic<int> split{0};
    std::atomic<int> interruptFlag{0};
    std::atomic<int> atnjmpCalls{0};
    std::atomic<int> atnjmpBreaks{0};
    std::atomic<WorkspaceHandle> lastWorkspace{nullptr};
    std::mutex ipcMutex;
    std::vector<qehost::IpcRecord> ipc;
    int workspace = 0;  // its address is the workspace handle
};

ProcessState& State() {
    static auto* state = new ProcessState();
    return *state;
}

[[maybe_unused]] const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    ProcessState& s = State();
    s.weight = 0;
    s.split = 0;
    s.interruptFlag = 0;
    s.atnjmpCalls = 0;
    s.atnjmpBreaks = 0;
    s.lastWorkspace = nullptr;
    g_pendingBreak = false;
    std::lock_guard<std::mutex> lock(s.ipcMutex);
    s.ipc.clear();
});

extern "C" void OnBreakSignal(int) {
    g_pendingBreak.store(true);
}

}  // namespace

int GetWeight() {
    return State().weight.load();
}
void SetWeight(int weight) {
    State().weight.store(weight);
}
int GetSplit() {
    return State().split.load();
}
void SetSplit(int split) {
    State().split.store(split);
}

int GetInterruptFlag() {
    return State().interruptFlag.load();
}
void SetInterruptFlag(int value) {
    State().interruptFlag.store(value);
}

WorkspaceHandle Workspace() {
    return &State().workspace;
}

int ATNCHK() {
    return g_pendingBreak.load() || State().interruptFlag.load() != 0 ? 1 : 0;
}

void ATNJMP(WorkspaceHandle workspace) {
    ProcessState& s = State();
    ++s.atnjmpCalls;
    s.lastWorkspace = workspace;
    if (!g_pendingBreak.exchange(false))
        return;
    ++s.atnjmpBreaks;
    GetAdapter()->DeliverInterrupt();
}

void IpcPutC(const int* code, const int* flag, const int* length, const void* data,
             const int* last) {
    qehost::IpcRecord record;
    record.code = code != nullptr ? *code : 0;
    record.flag = flag != nullptr ? *flag : 0;
    record.length = length != nullptr ? *length : 0;
    record.last = last != nullptr ? *last : 0;
    if (data != nullptr && record.length > 0) {
        record.bytes.assign(static_cast<const char*>(data), static_cast<size_t>(record.length));
    }
    ProcessState& s = State();
    std::lock_guard<std::mutex> lock(s.ipcMutex);
    s.ipc.push_back(std::move(record));
}

namespace qehost {

void SetPendingBreak(bool pending) {
    g_pendingBreak.store(pending);
}
bool PendingBreak() {
    return g_pendingBreak.load();
}

void InstallBreakSignal(int signo) {
    struct sigaction action {};
    action.sa_handler = &OnBreakSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signo, &action, nullptr);
}

int AtnjmpCalls() {
    return State().atnjmpCalls.load();
}
int AtnjmpBreaks() {
    return State().atnjmpBreaks.load();
}
WorkspaceHandle LastAtnjmpWorkspace() {
    return State().lastWorkspace.load();
}

double IpcRecord::value() const {
    double v = 0;
    if (bytes.size() == sizeof v)
        std::memcpy(&v, bytes.data(), sizeof v);
    return v;
}

std::vector<IpcRecord> IpcRecords() {
    ProcessState& s = State();
    std::lock_guard<std::mutex> lock(s.ipcMutex);
    return s.ipc;
}

}  // namespace qehost
