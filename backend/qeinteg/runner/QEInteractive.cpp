#include "qeinteg/runner/QEInteractive.h"

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr const char* kUnknownMessage = "unknown QE message";

}  // namespace

QEInteractive::QEInteractive()
    : _runner(std::make_unique<QERunner>(nullptr)), _converter(TAVOMBConverterNew_A(0)) {}

QEInteractive::~QEInteractive() {
    _runner.reset();
    TAVOMBConverterDelete_A(_converter);
}

bool QEInteractive::tryRunQE(QERunner& runner) {
    exceptionMessage.clear();
    std::string text;
    bool ok = false;
    try {
        ok = runner.execute();
    } catch (const EmbeddedQE::JavaException& e) {
        text = e.getMessage() + "\nTrace message:\n" + e.getTrace();
    } catch (const EmbeddedQE::Exception& e) {
        text = e.getMessage();
    } catch (...) {
        text = kUnknownMessage;
    }
    if (!ok)
        exceptionMessage = text;
    return ok;
}

bool QEInteractive::tryGetMetadata(QERunner& runner, const std::string& jobText,
                                   const QEStatContainer& container, std::string& result) {
    exceptionMessage.clear();
    std::string text;
    bool ok = false;
    try {
        ok = runner.getMetadata(jobText, container, result);
        if (!ok)
            text = kUnknownMessage;
    } catch (const EmbeddedQE::JavaException& e) {
        text = e.getMessage() + "\nTrace message:\n" + e.getTrace();
    } catch (const EmbeddedQE::Exception& e) {
        text = e.getMessage();
    } catch (...) {
        text = kUnknownMessage;
    }
    if (!ok)
        exceptionMessage = text;
    return ok;
}

void QEInteractive::cancelExecution() {
    _runner->cancelExecution();
}

bool QEInteractive::isStopProcessor() {
    return _runner->isStopProcessor();
}

QEProgressListener::ExecutionState QEInteractive::getState() const {
    return _runner->getProgressListener()->getState();
}

std::string QEInteractive::getExecutionId() const {
    return _runner->getProgressListener()->getExecutionId();
}

bool QEInteractive::hasError(std::string& id, std::string& message, std::string& detail) {
    if (_runner->getProgressListener()->hasError(id, message, detail))
        return true;
    if (exceptionMessage.empty())
        return false;
    message = exceptionMessage;
    return true;
}

const std::vector<std::string>& QEInteractive::getMessages() const {
    if (hasOwnMessages_)
        return messages_;
    return _runner->getProgressListener()->getMessages();
}

void QEInteractive::resetJNI() {
    _runner->resetJNI();
}

void QEInteractive::cleanJRef() {
    _runner->cleanJRef();
}

void QEInteractive::cleanExecution() {
    _runner->cleanExecution();
    _runner->resetStopRrocessor();
}

void QEInteractive::CleanExceptions() {
    exceptionMessage.clear();
}

void QEInteractive::UpdateMessageList() {
    const std::vector<std::string>& current = _runner->getProgressListener()->getMessages();
    messages_.insert(messages_.end(), current.begin(), current.end());
    hasOwnMessages_ = true;
}

void QEInteractive::AddMessage(const std::string& text) {
    messages_.push_back(text);
    hasOwnMessages_ = true;
}

void QEInteractive::CleanMessages() {
    messages_.clear();
    hasOwnMessages_ = false;
}
