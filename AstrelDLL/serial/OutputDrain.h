// Waiting for written output to leave a device, shared by the backends: the
// device says how much it still holds, and the wait sleeps in short steps
// until that is nothing or the time is up.
#pragma once

#include <algorithm>
#include <cstdint>

#include "serial/SerialDevice.h"

namespace astrel {

// `queued()` gives the bytes the device still has to send, or a negative
// count when it cannot tell. True once it holds none; false when it cannot
// tell or still holds some after `timeoutMs`.
template <typename Queued>
bool WaitForOutputToLeave(Clock& clock, uint32_t timeoutMs, Queued queued) {
    constexpr uint32_t kStepMs = 2;  // a byte takes about 1 ms at 9600 baud
    const uint32_t start = clock.Ticks();
    for (;;) {
        const int64_t left = queued();
        if (left < 0) return false;
        if (left == 0) return true;
        const uint32_t elapsed = clock.Ticks() - start;
        if (elapsed >= timeoutMs) return false;
        clock.Sleep(std::min(kStepMs, timeoutMs - elapsed), nullptr);
    }
}

}  // namespace astrel
