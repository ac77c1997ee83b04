#include "SimClock.h"

#include <chrono>

namespace astrel::sim {

uint64_t SteadySimClock::NowMs() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace astrel::sim
