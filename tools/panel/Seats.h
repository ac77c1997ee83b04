// Who is at the panel: every open page has a seat (its event stream), one
// of them drives the stage and the others watch. The first page to come
// drives; when it goes, the seat is free for the next page that asks. A
// page may also take over from a driving page that has given no command
// for kTakeOverAfter, while the stage is at rest.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace astrel::tool {

class Seats {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr uint64_t kNobody = 0;
    static constexpr std::chrono::seconds kTakeOverAfter{10};

    // A seat for a new page: its number, never 0. It drives when nobody does.
    uint64_t Join();
    // The page of `seat` went away; true when it was driving.
    bool Leave(uint64_t seat);
    // The page of `seat` gave a command.
    void Active(uint64_t seat);
    // `seat` drives from now on if it may; empty then, else why not in words.
    std::string Claim(uint64_t seat, bool stageAtRest);
    bool Drives(uint64_t seat) const;
    // Whether any page drives.
    bool Driven() const;
    // How many pages are open.
    size_t Count() const;
    // How long the driving page has given no command; 0 when none drives.
    std::chrono::milliseconds DriverIdle() const;

  private:
    mutable std::mutex mutex_;
    std::set<uint64_t> open_;
    uint64_t next_ = 1;
    uint64_t driver_ = kNobody;
    Clock::time_point driverActive_{};
};

}  // namespace astrel::tool
