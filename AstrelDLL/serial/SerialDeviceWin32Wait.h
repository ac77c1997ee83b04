// Waiting on Windows for a device's event or a stop's wake event, whichever
// comes first, for at most `ms` milliseconds.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "serial/WakeSignal.h"

namespace astrel::win32 {

// WAIT_OBJECT_0: `event` is set; WAIT_OBJECT_0 + 1: the wake signal is
// raised; otherwise WAIT_TIMEOUT or WAIT_FAILED.
inline DWORD WaitWithWake(HANDLE event, const WakeSignal* wake, uint32_t ms) {
    const HANDLE events[2] = {event, wake != nullptr && wake->Native() != WakeSignal::kNone
                                         ? reinterpret_cast<HANDLE>(wake->Native())
                                         : nullptr};
    return ::WaitForMultipleObjects(events[1] != nullptr ? 2 : 1, events, FALSE,
                                    std::min<uint32_t>(ms, MAXDWORD - 1));
}

}  // namespace astrel::win32
