#include "Seats.h"

namespace astrel::tool {

uint64_t Seats::Join() {
    const std::lock_guard lock(mutex_);
    const uint64_t seat = next_++;
    open_.insert(seat);
    if (driver_ == kNobody) {
        driver_ = seat;
        driverActive_ = Clock::now();
    }
    return seat;
}

bool Seats::Leave(uint64_t seat) {
    const std::lock_guard lock(mutex_);
    open_.erase(seat);
    if (driver_ != seat) return false;
    driver_ = kNobody;
    return true;
}

void Seats::Active(uint64_t seat) {
    const std::lock_guard lock(mutex_);
    if (seat == driver_) driverActive_ = Clock::now();
}

std::string Seats::Claim(uint64_t seat, bool stageAtRest) {
    const std::lock_guard lock(mutex_);
    if (open_.count(seat) == 0) return "this page has no seat: reload it";
    if (driver_ != kNobody && driver_ != seat) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - driverActive_);
        if (idle < kTakeOverAfter) {
            return "another page drives and gave a command " + std::to_string(idle.count()) +
                   " s ago; it can be taken over once it has been idle for " +
                   std::to_string(kTakeOverAfter.count()) + " s";
        }
        if (!stageAtRest) return "another page drives and the stage moves: stop it first";
    }
    driver_ = seat;
    driverActive_ = Clock::now();
    return {};
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

std::chrono::milliseconds Seats::DriverIdle() const {
    const std::lock_guard lock(mutex_);
    if (driver_ == kNobody) return {};
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - driverActive_);
}

}  // namespace astrel::tool
