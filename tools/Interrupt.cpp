#include "Interrupt.h"

#include <poll.h>
#include <pthread.h>

namespace astrel::tool {

namespace {

volatile sig_atomic_t gReceived = 0;

extern "C" void RecordSignal(int signal) {
    if (gReceived == 0) gReceived = signal;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    gReceived = 0;
    sigset_t watched;
    sigemptyset(&watched);
    for (const int signal : kSignals) sigaddset(&watched, signal);
    pthread_sigmask(SIG_BLOCK, &watched, &previousMask_);
    waitMask_ = previousMask_;
    for (const int signal : kSignals) sigdelset(&waitMask_, signal);
    struct sigaction action {};
    action.sa_handler = RecordSignal;
    action.sa_mask = watched;
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

InterruptWatch::~InterruptWatch() {
    // A signal still pending is taken by the recording handler, not by the previous one.
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

int InterruptWatch::Received() {
    const timespec now{0, 0};
    SleepFor(&now);  // lets a pending signal in
    return gReceived;
}

bool InterruptWatch::Sleep(int ms) {
    const timespec duration{ms / 1000, (ms % 1000) * 1000000L};
    return SleepFor(&duration);
}

int InterruptWatch::WaitForSignal() {
    while (SleepFor(nullptr)) {
    }
    return gReceived;
}

bool InterruptWatch::SleepFor(const timespec* duration) {
    if (gReceived != 0) return false;
    // ppoll lets the signals in for the sleep alone, so none can slip in
    // between the check above and the sleep; it ends early when one arrives.
    ::ppoll(nullptr, 0, duration, &waitMask_);
    return gReceived == 0;
}

}  // namespace astrel::tool
