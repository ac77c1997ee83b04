#include "serial/SerialDevicePosixWait.h"

#include <poll.h>

#include <cerrno>

namespace astrel::posix {
namespace {

// `ms` as poll takes it: at most INT_MAX, never the negative "wait forever".
int PollMs(uint32_t ms) {
    return ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(ms);
}

}  // namespace

WaitResult WaitReadable(int fd, uint32_t timeoutMs, const WakeSignal* wake) {
    if (wake != nullptr && wake->Raised()) return WaitResult::kWoken;
    // The wake descriptor is readable while the signal is raised; poll
    // skips a negative descriptor, so a wait without one watches the device alone.
    const int wakeFd = wake != nullptr && wake->Native() != WakeSignal::kNone
                           ? static_cast<int>(wake->Native())
                           : -1;
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int r = ::poll(p, 2, PollMs(timeoutMs));
    if (r < 0) return errno == EINTR ? WaitResult::kTimedOut : WaitResult::kFailed;
    if (r == 0) return WaitResult::kTimedOut;
    if (p[1].revents != 0) return WaitResult::kWoken;
    if ((p[0].revents & POLLIN) != 0) return WaitResult::kReadable;
    return WaitResult::kFailed;  // hang-up or error with nothing left to read
}

int32_t WriteWithin(int fd, const uint8_t* data, uint32_t size, uint32_t timeoutMs,
                    WriteOnce write) {
    const uint32_t start = SystemClock().Ticks();
    for (;;) {
        const ssize_t n = write(fd, data, size);
        if (n >= 0) return static_cast<int32_t>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        const uint32_t elapsed = SystemClock().Ticks() - start;
        if (elapsed >= timeoutMs) return 0;  // a stall: the device took nothing
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, PollMs(timeoutMs - elapsed)) < 0 && errno != EINTR) {
            return -1;
        }
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
    }
}

}  // namespace astrel::posix
