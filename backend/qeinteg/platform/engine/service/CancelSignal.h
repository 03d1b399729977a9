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
            // Under the lock, so that a waiter cannot miss the change.
            std::lock_guard<std::mutex> lock(mutex_);
            raised_.store(true, std::memory_order_release);
        }
        changed_.notify_all();
    }

    // Without the lock: running jobs ask this for every row.
    bool raised() const { return raised_.load(std::memory_order_acquire); }

    // Blocks until raised or until `timeout` has passed; returns whether it was raised.
    bool waitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return raised_.load(); });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::atomic<bool> raised_{false};
};

}  // namespace qelocal
