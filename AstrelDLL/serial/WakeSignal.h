// A signal that cuts a port's wait for input short: raised by a stop from
// another thread, watched by the device's wait next to the port itself (a
// descriptor in poll, an event in a wait for several objects), so that the
// waiting thread wakes at once and sleeps without spinning until then.
#pragma once

#include <atomic>
#include <cstdint>

namespace astrel {

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Wakes every wait that watches the signal, and keeps waking them until Clear.
    void Raise() noexcept;
    void Clear() noexcept;
    bool Raised() const noexcept { return raised_.load(std::memory_order_acquire); }

    // What a system wait watches: a descriptor readable while raised (POSIX),
    // an event set while raised (Windows). kNone when the system could not
    // make one: the signal is then seen only between waits.
    static constexpr intptr_t kNone = -1;
    intptr_t Native() const noexcept { return native_; }

  private:
    std::atomic<bool> raised_{false};
    intptr_t native_ = kNone;
};

}  // namespace astrel
