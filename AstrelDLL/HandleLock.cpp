#include "HandleLock.h"

void HandleLock::Enter(Kind kind) {
    std::unique_lock lock(mutex_);
    if (kind == Kind::kStop) {
        // The signal is raised only while a call holds the lock, so the call
        // it interrupts is always the one in progress; a stop in progress
        // goes on to its end (it may write several lines).
        if (busy_ && !stopping_) wake_.Raise();
        ++stopsWaiting_;
        free_.wait(lock, [this] { return !busy_; });
        --stopsWaiting_;
    } else {
        free_.wait(lock, [this] { return !busy_ && stopsWaiting_ == 0; });
    }
    busy_ = true;
    stopping_ = kind == Kind::kStop;
    if (wake_.Raised()) wake_.Clear();
}

void HandleLock::Leave() {
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
    free_.notify_all();
}
