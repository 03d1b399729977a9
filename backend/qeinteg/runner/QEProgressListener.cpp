#include "qeinteg/runner/QEProgressListener.h"

#include <unordered_set>

#include "qeinteg/platform/host/output/PnError.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/process/HostProcess.h"

namespace {

// Engine notices that only restate what the run's outcome already says.
bool IsHiddenMessageId(const std::string& id) {
    return id.empty() || id == "AEQAE2264I" || id == "AEQAF0151E" || id == "AEQAR0051W";
}

constexpr int kProgressCode = 79;

}  // namespace

QEProgressListener::QEProgressListener(PnProcedure* procedure) : procedure_(procedure) {
    if (procedure_ != nullptr) {
        progressValue_ = std::make_unique<double[]>(1);
        progressValue_[0] = 0;
    }
}

QEProgressListener::~QEProgressListener() = default;

void QEProgressListener::onCancel() {
    state_ = Cancelled;
}

void QEProgressListener::onError(const std::string& id, const std::string& message,
                                 const std::string& detail) {
    errorId_ = id;
    errorMessage_ = message;
    errorDetail_ = detail;
    state_ = Failed;
}

void QEProgressListener::onInit(const std::string& executionId) {
    executionId_ = executionId;
    state_ = Initialized;
}

void QEProgressListener::onMessage(const std::string& /*text*/) {}

void QEProgressListener::onProgress(float fraction) {
    state_ = Running;
    if (procedure_ == nullptr)
        return;
    progressValue_[0] = static_cast<double>(fraction);
    const int code = kProgressCode;
    const int flag = 0;
    const int length = sizeof(double);
    const int last = -1;
    IpcPutC(&code, &flag, &length, progressValue_.get(), &last);
}

void QEProgressListener::onSuccess() {
    state_ = Succeeded;
}

void QEProgressListener::onMessage(const std::string& id, const std::string& text) {
    state_ = Running;
    if (!IsHiddenMessageId(id))
        messages_.push_back(text);
}

void QEProgressListener::reset() {
    state_ = Initialized;
    errorId_.clear();
    errorMessage_.clear();
    errorDetail_.clear();
    executionId_.clear();
    messages_.clear();
}

QEProgressListener::ExecutionState QEProgressListener::getState() const {
    return state_.load();
}

std::string QEProgressListener::getExecutionId() const {
    return executionId_;
}

const std::vector<std::string>& QEProgressListener::getMessages() const {
    return messages_;
}

bool QEProgressListener::hasError(std::string& id, std::string& message, std::string& detail) {
    if (state_.load() != Failed)
        return false;
    id = errorId_;
    message = errorMessage_;
    detail = errorDetail_;
    return true;
}

void QEProgressListener::displayAllMessages(bool showError) {
    if (procedure_ == nullptr)
        return;
    std::unordered_set<std::string> shown;
    for (const std::string& text : messages_) {
        if (shown.insert(text).second)
            PnError(PnUTF8String(text), 2, 2);
    }
    const ExecutionState state = state_.load();
    if (state == Failed) {
        const PnUTF8String error(errorMessage_, false);
        if (showError)
            PnError(error, 2, 3);
    } else if (state == Cancelled) {
        PnError(PnString("The Tavo Statistics run will terminate now.", true), 2, 3);
    }
}
