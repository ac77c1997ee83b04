#include "HandleLock.h"

void HandleLock::Enter(Kind kind) {
    std::unique_lock lock(mutex_);
    const bool cutIn = kind != Kind::kCall;
    if (cutIn) {
        // The signal is raised only while a call holds the lock, so the call
        // it interrupts is always the one in progress; a stop (or close, or
        // release) in progress goes on to its end (a stop may write several
        // lines).
        if (busy_ && !cutIn_) wake_.Raise();
        ++cutInsWaiting_;
        free_.wait(lock, [this] { return !busy_; });
        --cutInsWaiting_;
    } else {
        free_.wait(lock, [this] { return !busy_ && cutInsWaiting_ == 0; });
    }
    busy_ = true;
    cutIn_ = cutIn;
    if (wake_.Raised()) wake_.Clear();
}

void HandleLock::Leave() {
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
    free_.notify_all();
}
