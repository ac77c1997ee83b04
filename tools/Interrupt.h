// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal went away) while the tool
// has a stage moving or serves a simulator. While a watch is alive these
// signals are blocked in every thread of the tool (threads started after it
// inherit the mask) and taken by the watch's own thread alone, which records
// the first one, sends a stop to the stage named with Stopping, and wakes
// the tool's sleeps. The library's stop cuts short a query the tool is
// waiting on, so the tool acts on the signal at once, not after a time-out.
#pragma once

#include <signal.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

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
    // Sleeps until a signal arrives, and returns it; 0 when the system can
    // no longer tell the tool of signals.
    int WaitForSignal();

    // While alive, a signal sends a stop to the stage of `handle`.
    class Stopping {
      public:
        Stopping(InterruptWatch& watch, int32_t handle);
        ~Stopping();
        Stopping(const Stopping&) = delete;
        Stopping& operator=(const Stopping&) = delete;

      private:
        InterruptWatch& watch_;
    };

  private:
    static constexpr int32_t kNoStage = -1;
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

    void Watch();
    void SetStage(int32_t handle);

    sigset_t previousMask_{};
    std::array<struct sigaction, kSignals.size()> previous_{};
    int signalFd_ = -1;  // readable when a watched signal is pending
    int quitFd_ = -1;    // readable once the watch ends

    std::mutex mutex_;
    std::condition_variable arrived_;
    int received_ = 0;
    bool watching_ = true;  // false once the watch thread has ended
    // Guards stage_ and is held while a stop is sent, so that a stage is not
    // released (or its handle reused) under a stop on its way.
    std::mutex stageMutex_;
    int32_t stage_ = kNoStage;
    std::thread watcher_;
};

}  // namespace astrel::tool
