// The lock that serialises the calls on one stage handle, so that one
// exchange at a time uses its port and every reply reaches the call that
// asked for it. A stop does not wait in line: it raises the handle's wake
// signal, which cuts the present call's waits short (for a reply, for the
// input to fall quiet, in a pause: that call fails as for no usable reply),
// and it goes before every ordinary call still waiting for the lock. A
// close or a release of the handle cuts in the same way. The signal is
// cleared when the next call begins.
#pragma once

#include <condition_variable>
#include <mutex>

#include "serial/WakeSignal.h"

class HandleLock {
  public:
    // kStop: a stop; kEnd: a close or release of the handle. Both cut in.
    enum class Kind { kCall, kStop, kEnd };

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

    // Lets the lock go, within a call that holds it, for as long as it lives
    // (while the call connects to a server, say), and takes it back then as
    // an ordinary call does: meanwhile other calls on the handle run.
    class Lifted {
      public:
        explicit Lifted(HandleLock& lock) : lock_(lock) { lock_.Leave(); }
        ~Lifted() { lock_.Enter(Kind::kCall); }
        Lifted(const Lifted&) = delete;
        Lifted& operator=(const Lifted&) = delete;

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
    bool cutIn_ = false;     // that call cut in (a stop, a close, a release)
    int cutInsWaiting_ = 0;  // calls that cut in waiting for the lock, which go first
    astrel::WakeSignal wake_;
};
