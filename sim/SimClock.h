// The simulators' own millisecond clock: the real steady clock when a
// simulated controller serves a line, a hand-driven one in tests.
#pragma once

#include <atomic>
#include <cstdint>

namespace astrel::sim {

class SimClock {
  public:
    virtual ~SimClock() = default;
    // Milliseconds since some fixed start; never goes back.
    virtual uint64_t NowMs() = 0;
};

class SteadySimClock final : public SimClock {
  public:
    uint64_t NowMs() override;
};

// Stands still until a test moves it on. Safe to advance from one thread
// while another reads it.
class ManualSimClock final : public SimClock {
  public:
    uint64_t NowMs() override { return now_.load(); }
    void Advance(uint64_t ms) { now_.fetch_add(ms); }

  private:
    std::atomic<uint64_t> now_{0};
};

}  // namespace astrel::sim
