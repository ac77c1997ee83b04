#include "Seats.h"

namespace astrel::tool {

uint64_t Seats::Join() {
    const std::lock_guard lock(mutex_);
    const uint64_t seat = next_++;
    open_.insert(seat);
    if (driver_ == kNobody) driver_ = seat;
    return seat;
}

bool Seats::Leave(uint64_t seat) {
    const std::lock_guard lock(mutex_);
    open_.erase(seat);
    if (driver_ != seat) return false;
    driver_ = kNobody;
    return true;
}

bool Seats::Claim(uint64_t seat) {
    const std::lock_guard lock(mutex_);
    if (driver_ == kNobody && open_.count(seat) != 0) driver_ = seat;
    return driver_ == seat;
}

bool Seats::Drives(uint64_t seat) const {
    const std::lock_guard lock(mutex_);
    return seat != kNobody && driver_ == seat;
}

bool Seats::Driven() const {
    const std::lock_guard lock(mutex_);
    return driver_ != kNobody;
}

size_t Seats::Count() const {
    const std::lock_guard lock(mutex_);
    return open_.size();
}

}  // namespace astrel::tool
