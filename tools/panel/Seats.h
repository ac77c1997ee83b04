// Who is at the panel: every open page has a seat (its event stream), one
// of them drives the stage and the others watch. The first page to come
// drives; when it goes, the seat is free for the next page that asks.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>

namespace astrel::tool {

class Seats {
  public:
    static constexpr uint64_t kNobody = 0;

    // A seat for a new page: its number, never 0. It drives when nobody does.
    uint64_t Join();
    // The page of `seat` went away; true when it was driving.
    bool Leave(uint64_t seat);
    // `seat` drives from now on if nobody does; true when it drives.
    bool Claim(uint64_t seat);
    bool Drives(uint64_t seat) const;
    // Whether any page drives.
    bool Driven() const;
    // How many pages are open.
    size_t Count() const;

  private:
    mutable std::mutex mutex_;
    std::set<uint64_t> open_;
    uint64_t next_ = 1;
    uint64_t driver_ = kNobody;
};

}  // namespace astrel::tool
