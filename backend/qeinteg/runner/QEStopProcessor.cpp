#include "qeinteg/runner/QEStopProcessor.h"

#include <atomic>

#include "qeinteg/platform/host/HostProcess.h"
#include "qeinteg/platform/host/PnError.h"
#include "qeinteg/platform/host/PnString.h"

namespace {

// The host workspace of the procedure that made the latest stop processor.
std::atomic<WorkspaceHandle> g_workspace{nullptr};

}  // namespace

QEStopProcessor::QEStopProcessor(double timeoutSeconds)
    : start_(std::chrono::steady_clock::now()), timeout_(timeoutSeconds) {
    g_workspace.store(Workspace());
}

QEStopProcessor::~QEStopProcessor() = default;

bool QEStopProcessor::timedOut() const {
    if (timeout_ <= 0)
        return false;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    return elapsed.count() >= timeout_;
}

bool QEStopProcessor::GetCancel() {
    bool cancel = false;
    if (timedOut()) {
        cancel = true;
        PnError(PnString("Time out termination ...", true), 2, 3);
        SetInterruptFlag(-1);
    }
    ATNJMP(g_workspace.load());
    return cancel;
}

bool QEStopProcessor::CheckCancel() const {
    return timedOut() || ATNCHK() != 0;
}
