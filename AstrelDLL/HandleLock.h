// The lock that serialises the calls on one stage handle, so that one
// exchange at a time uses its port and every reply reaches the call that
// asked for it. A stop does not wait in line: it raises the handle's wake
// signal, which cuts the present call's wait for a reply short (that call
// fails as for no usable reply), and it goes before every ordinary call
// still waiting for the lock. The signal is cleared when the next call
// begins.
#pragma once

#include <condition_variable>
#include <mutex>

#include "serial/WakeSignal.h"

class HandleLock {
  public:
    enum class Kind { kCall, kStop };

    // Holds the lock for one call, from construction to destruction.
    class Hold {
      public:
        Hold(HandleLock& lock, Kind kind) : lock_(lock) { lock_.Enter(kind); }
        ~Hold() { lock_.Leave(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        HandleLock& lock_;
    };

    // The signal the handle's port watches while it waits for input.
    const astrel::WakeSignal& Wake() const { return wake_; }

  private:
    void Enter(Kind kind);
    void Leave();

    std::mutex mutex_;
    std::condition_variable free_;
    bool busy_ = false;      // a call holds the lock
    bool stopping_ = false;  // that call is a stop
    int stopsWaiting_ = 0;   // stops waiting for the lock, which go first
    astrel::WakeSignal wake_;
};
