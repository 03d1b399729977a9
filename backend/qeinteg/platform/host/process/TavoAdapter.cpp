#include "qeinteg/platform/host/process/TavoAdapter.h"

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

[[maybe_unused]] const bool registered = qehost::testing::RegisterResetHook(
    [](const std::string&) { GetAdapter()->SetInterruptHandler(nullptr); });

}  // namespace

TavoAdapter::InterruptHandler::~InterruptHandler() = default;

TavoAdapter::InterruptHandler* TavoAdapter::SetInterruptHandler(InterruptHandler* handler) {
    // Taking the lock waits for a delivery in progress, so the old handler is free afterwards.
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    InterruptHandler* previous = handler_;
    handler_ = handler;
    return previous;
}

TavoAdapter::InterruptHandler* TavoAdapter::GetInterruptHandler() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return handler_;
}

bool TavoAdapter::DeliverInterrupt() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (handler_ == nullptr)
        return false;
    handler_->Interrupt();
    return true;
}

TavoAdapter* GetAdapter() {
    static auto* adapter = new TavoAdapter();
    return adapter;
}
