// The wake signal on Linux: an eventfd that is readable while raised.
#include <sys/eventfd.h>
#include <unistd.h>

#include "serial/WakeSignal.h"

namespace astrel {

WakeSignal::WakeSignal() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd >= 0) native_ = fd;
}

WakeSignal::~WakeSignal() {
    if (native_ != kNone) ::close(static_cast<int>(native_));
}

void WakeSignal::Raise() noexcept {
    raised_.store(true, std::memory_order_release);
    if (native_ == kNone) return;
    const uint64_t one = 1;
    // Only fails when the counter is full, and then it is readable already.
    [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(native_), &one, sizeof one);
}

void WakeSignal::Clear() noexcept {
    raised_.store(false, std::memory_order_release);
    if (native_ == kNone) return;
    uint64_t count = 0;
    // Reading resets the counter; nothing to read (EAGAIN) is already clear.
    [[maybe_unused]] const ssize_t n = ::read(static_cast<int>(native_), &count, sizeof count);
}

}  // namespace astrel
