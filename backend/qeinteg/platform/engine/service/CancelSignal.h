// The cancel request of one job: raised from any thread, observed by the running job.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qelocal {

class CancelSignal {
  public:
    void raise() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            raised_ = true;
            flag_.store(true, std::memory_order_release);
        }
        changed_.notify_all();
    }

    // Lock-free: a running job asks once per record.
    bool raised() const { return flag_.load(std::memory_order_acquire); }

    // Blocks until raised or until `timeout` has passed; returns whether it was raised.
    bool waitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return raised_; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool raised_ = false;            // for the waiters, under mutex_
    std::atomic<bool> flag_{false};  // the same, for raised()
};

}  // namespace qelocal
