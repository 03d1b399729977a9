// The host adapter of the running procedure. Its current interrupt handler is what the host calls
// when the user breaks a running procedure (from the host's interrupt thread, or from ATNJMP on the
// procedure thread).
#pragma once

#include <mutex>

class TavoAdapter {
  public:
    class InterruptHandler {
      public:
        virtual ~InterruptHandler();
        // Called when the user asks to stop the procedure. May run on any thread.
        virtual void Interrupt() = 0;
    };

    // Makes `handler` (not owned, may be null) the current handler; returns the previous one. Once
    // this returns, the previous handler is no longer being called, so its owner may destroy it.
    InterruptHandler* SetInterruptHandler(InterruptHandler* handler);
    InterruptHandler* GetInterruptHandler() const;

    // The host's interrupt path: calls the current handler, if any. Returns whether one was called.
    bool DeliverInterrupt();

  private:
    mutable std::recursive_mutex mutex_;
    InterruptHandler* handler_ = nullptr;
};

// The host adapter of the process.
TavoAdapter* GetAdapter();
