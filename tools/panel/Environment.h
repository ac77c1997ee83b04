// The process's environment is read by the port listing and written when a
// stage opens on a device (the port index's variable is pointed at it), on
// different threads of the panel: the two take turns under this lock.
#pragma once

#include <mutex>

namespace astrel::tool {

inline std::mutex& EnvironmentLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace astrel::tool
