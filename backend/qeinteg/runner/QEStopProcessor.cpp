#include "qeinteg/runner/QEStopProcessor.h"

#include "qeinteg/data/QERawDataIterator.h"

#include <atomic>

#include "qeinteg/platform/host/output/PnError.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/process/HostProcess.h"

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

// Defined here, where QEStopProcessor is complete, so that the data layer needs only QEStopCheck.
void QERawDataIterator::SetStopProcessor(QEStopProcessor* stopProcessor) {
    SetStopCheck(stopProcessor, stopProcessor);
}
