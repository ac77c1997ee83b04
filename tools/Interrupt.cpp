#include "Interrupt.h"

#include <poll.h>
#include <pthread.h>

namespace astrel::tool {

namespace {

volatile sig_atomic_t gReceived = 0;

extern "C" void RecordSignal(int signal) {
    if (gReceived == 0) gReceived = signal;
}

sigset_t BothSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    gReceived = 0;
    const sigset_t both = BothSignals();
    pthread_sigmask(SIG_BLOCK, &both, &previousMask_);
    waitMask_ = previousMask_;
    sigdelset(&waitMask_, SIGINT);
    sigdelset(&waitMask_, SIGTERM);
    struct sigaction action {};
    action.sa_handler = RecordSignal;
    action.sa_mask = both;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptWatch::~InterruptWatch() {
    // A signal still pending is taken by the recording handler, not by the previous one.
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
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
