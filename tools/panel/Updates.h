// A change counter that the panel's event streams wait on: the stage's
// poller and the seats bump it, and each stream sends the state when it
// moved on (or a keep-alive when it did not within the wait).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace astrel::tool {

class Updates {
  public:
    void Notify() {
        {
            const std::lock_guard lock(mutex_);
            ++count_;
        }
        changed_.notify_all();
    }

    // Ends every wait for good: the panel is closing.
    void Close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

    // The counter once it differs from `seen`, or `seen` after `wait`;
    // nothing once closed.
    std::optional<uint64_t> Wait(uint64_t seen, std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, wait, [&] { return closed_ || count_ != seen; });
        if (closed_) return std::nullopt;
        return count_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t count_ = 0;
    bool closed_ = false;
};

}  // namespace astrel::tool
