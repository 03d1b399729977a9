#include "qeinteg/platform/engine/service/JobScript.h"

#include <utility>

namespace qelocal {

JobScript& JobScript::executionId(std::string id) {
    executionId_ = std::move(id);
    return *this;
}

JobScript& JobScript::progress(float fraction) {
    Step step;
    step.kind = Step::Kind::Progress;
    step.fraction = fraction;
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::message(std::string id, std::string text) {
    Step step;
    step.kind = Step::Kind::Message;
    step.id = std::move(id);
    step.text = std::move(text);
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::plainMessage(std::string text) {
    Step step;
    step.kind = Step::Kind::PlainMessage;
    step.text = std::move(text);
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::pullRows(size_t columns) {
    Step step;
    step.kind = Step::Kind::PullRows;
    step.columns = columns;
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::waitForCancel(std::chrono::milliseconds limit) {
    Step step;
    step.kind = Step::Kind::WaitForCancel;
    step.limit = limit;
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::call(std::function<void()> fn) {
    Step step;
    step.kind = Step::Kind::Call;
    step.call = std::move(fn);
    steps_.push_back(std::move(step));
    return *this;
}

JobScript& JobScript::succeed() {
    ending_ = Ending::Success;
    return *this;
}

JobScript& JobScript::fail(std::string id, std::string message, std::string detail) {
    ending_ = Ending::Error;
    endId_ = std::move(id);
    endMessage_ = std::move(message);
    endDetail_ = std::move(detail);
    return *this;
}

JobScript& JobScript::throwJavaException(std::string message, std::string trace) {
    ending_ = Ending::ThrowJavaException;
    endMessage_ = std::move(message);
    endDetail_ = std::move(trace);
    return *this;
}

JobScript& JobScript::throwException(std::string message) {
    ending_ = Ending::ThrowException;
    endMessage_ = std::move(message);
    return *this;
}

JobScript& JobScript::throwAt(const std::string& operation, ScriptedFailure failure) {
    throwAt_[operation] = std::move(failure);
    return *this;
}

void JobScript::maybeThrowAt(const std::string& operation) const {
    auto it = throwAt_.find(operation);
    if (it == throwAt_.end())
        return;
    if (it->second.javaException) {
        throw EmbeddedQE::JavaException(it->second.message, it->second.trace);
    }
    throw EmbeddedQE::Exception(it->second.message);
}

namespace {

// Reads every row of `it` as an engine does. Returns the status that ended the pull: 1 at the end,
// 3 when the iterator was cancelled, another value on failure; 0 when our own cancel stopped it.
uint32_t PullAll(EmbeddedQE::RowDataIterator* it, size_t columns, const CancelSignal& cancel,
                 size_t& rows) {
    rows = 0;
    for (;;) {
        if (cancel.raised())
            return 0;
        const uint32_t status = it->nextRecord();
        if (status != 0)
            return status;
        for (size_t i = 0; i < columns; ++i) {
            const void* data = nullptr;
            size_t length = 0;
            const uint32_t valueStatus = it->getRecordValue(i, &data, &length);
            if (valueStatus != 0)
                return valueStatus;
        }
        ++rows;
    }
}

}  // namespace

void JobScript::run(const Run& run) const {
    ListenerEvents events(run.listener, run.executor, run.env);
    events.init(executionId_.empty() ? "local-" + std::to_string(run.executor) : executionId_);

    for (const Step& step : steps_) {
        if (run.cancel->raised()) {
            events.cancel();
            return;
        }
        switch (step.kind) {
            case Step::Kind::Progress:
                events.progress(step.fraction);
                break;
            case Step::Kind::Message:
                events.message(step.id, step.text);
                break;
            case Step::Kind::PlainMessage:
                events.plainMessage(step.text);
                break;
            case Step::Kind::Call:
                if (step.call)
                    step.call();
                break;
            case Step::Kind::WaitForCancel: {
                LocalEngine::instance().noteBlocked(+1);
                const bool cancelled = run.cancel->waitFor(step.limit);
                LocalEngine::instance().noteBlocked(-1);
                if (cancelled) {
                    events.cancel();
                } else {
                    events.error("LOCAL0002E", "The job was never cancelled.",
                                 "waitForCancel gave up after " +
                                     std::to_string(step.limit.count()) + " ms");
                }
                return;
            }
            case Step::Kind::PullRows:
                for (EmbeddedQE::RowDataIterator* it : *run.inputs) {
                    size_t rows = 0;
                    const uint32_t status = PullAll(it, step.columns, *run.cancel, rows);
                    LocalEngine::instance().record(CallRecord{run.executor,
                                                              "rowsPulled",
                                                              {it->getName(), std::to_string(rows)},
                                                              run.env,
                                                              std::this_thread::get_id()});
                    if (status == 0 || status == 3) {
                        events.cancel();
                        return;
                    }
                    if (status != 1) {
                        events.error("LOCAL0001E", "Reading the input failed.",
                                     "status " + std::to_string(status) + " from " + it->getName());
                        return;
                    }
                }
                break;
        }
    }
    if (run.cancel->raised()) {
        events.cancel();
        return;
    }

    switch (ending_) {
        case Ending::Success:
            events.success();
            return;
        case Ending::Error:
            events.error(endId_, endMessage_, endDetail_);
            return;
        case Ending::ThrowJavaException:
            throw EmbeddedQE::JavaException(endMessage_, endDetail_);
        case Ending::ThrowException:
            throw EmbeddedQE::Exception(endMessage_);
    }
}

void ListenerEvents::record(const std::string& operation, std::vector<std::string> args) {
    LocalEngine::instance().record(
        CallRecord{executor_, operation, std::move(args), env_, std::this_thread::get_id()});
}

void ListenerEvents::init(const std::string& executionId) {
    record("onInit", {executionId});
    listener_->onInit(executionId);
}

void ListenerEvents::progress(float fraction) {
    record("onProgress", {std::to_string(fraction)});
    listener_->onProgress(fraction);
}

void ListenerEvents::message(const std::string& id, const std::string& text) {
    record("onMessage", {id, text});
    if (auto* extended = dynamic_cast<EmbeddedQE::ExtendedExecutionListener*>(listener_)) {
        extended->onMessage(id, text);
    } else {
        listener_->onMessage(text);
    }
}

void ListenerEvents::plainMessage(const std::string& text) {
    record("onMessage", {text});
    listener_->onMessage(text);
}

void ListenerEvents::success() {
    record("onSuccess", {});
    listener_->onSuccess();
}

void ListenerEvents::error(const std::string& id, const std::string& message,
                           const std::string& detail) {
    record("onError", {id, message, detail});
    listener_->onError(id, message, detail);
}

void ListenerEvents::cancel() {
    record("onCancel", {});
    listener_->onCancel();
}

}  // namespace qelocal
