// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal went away) while the tool
// has a stage moving or serves a simulator: the handlers only record the
// signal, and the tool acts on it between its exchanges with the stage.
//
// While a watch is alive these signals are blocked in the thread that made it
// (and in threads it starts afterwards), so a signal never cuts into a
// library call; they are let through only while the watch sleeps, which
// therefore ends as soon as one arrives.
#pragma once

#include <signal.h>

#include <array>

namespace astrel::tool {

class InterruptWatch {
  public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The signal that arrived, or 0.
    int Received();
    // Sleeps `ms` milliseconds, or less when a signal arrives; false then.
    bool Sleep(int ms);
    // Sleeps until a signal arrives, and returns it.
    int WaitForSignal();

  private:
    bool SleepFor(const timespec* duration);

    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

    sigset_t previousMask_{};
    sigset_t waitMask_{};  // the previous mask without the watched signals
    std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace astrel::tool
