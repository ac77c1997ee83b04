// The serial seam on POSIX systems: termios in raw mode, exclusive open,
// poll for waiting. Reads never block (O_NONBLOCK with VMIN 1), so a read of
// 0 bytes means the device hung up and EAGAIN means nothing is waiting.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "serial/OutputDrain.h"
#include "serial/SerialDevice.h"
#include "serial/SerialDevicePosixLine.h"

namespace astrel {
namespace {

class PosixSerialDevice : public SerialDevice {
  public:
    ~PosixSerialDevice() override { CloseDescriptor(); }

    bool Open(const std::string& path) override {
        CloseDescriptor();
        if (path.empty()) return false;
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        // Raw mode first, so that nothing the controller sends during set-up
        // is echoed back to it. Then nobody else may open the device while we
        // hold it: TIOCEXCL stops other opens except privileged ones, and the
        // advisory lock stops every port object of this library, privileged
        // or not.
        if (!posix::MakeRaw(fd) || ::ioctl(fd, TIOCEXCL) != 0 ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        fd_ = fd;
        lineErrors_ = posix::LineErrorCounter(fd_);
        return true;
    }

    void Close() override { CloseDescriptor(); }

    void CloseDescriptor() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
        fd_ = -1;
    }

    bool Configure(const SerialSettings& settings) override {
        return posix::ApplyLineSettings(fd_, settings);
    }

    bool DrainOutput(uint32_t timeoutMs) override {
        // tcdrain has no time limit, so watch the output queue instead.
        return WaitForOutputToLeave(SystemClock(), timeoutMs, [this]() -> int64_t {
            int queued = 0;
            if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0) return -1;
            return std::max(queued, 0);
        });
    }

    bool Purge(bool input, bool output) override {
        if (fd_ < 0) return false;
        const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
        return ::tcflush(fd_, which) == 0;
    }

    bool Query(PortState& state) override {
        int waiting = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &waiting) != 0) return false;
        state.bytesWaiting = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
        state.lineError = lineErrors_.Changed();
        return true;
    }

    int32_t Read(uint8_t* buffer, uint32_t size) override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n > 0) return static_cast<int32_t>(n);
            if (n == 0) return -1;  // hung up
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
    }

    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override {
        const uint32_t start = SystemClock().Ticks();
        for (;;) {
            const ssize_t n = ::write(fd_, data, size);
            if (n >= 0) return static_cast<int32_t>(n);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
            const uint32_t elapsed = SystemClock().Ticks() - start;
            if (elapsed >= timeoutMs) return 0;  // a stall: the device took nothing
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(timeoutMs - elapsed)) < 0 && errno != EINTR) {
                return -1;
            }
            if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
        }
    }

    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override {
        if (wake != nullptr && wake->Raised()) return WaitResult::kWoken;
        // The wake descriptor is readable while the signal is raised; poll
        // skips a negative descriptor, so a wait without one watches the port alone.
        const int wakeFd = wake != nullptr && wake->Native() != WakeSignal::kNone
                               ? static_cast<int>(wake->Native())
                               : -1;
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ms = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
        const int r = ::poll(p, 2, ms);
        if (r < 0) return errno == EINTR ? WaitResult::kTimedOut : WaitResult::kFailed;
        if (r == 0) return WaitResult::kTimedOut;
        if (p[1].revents != 0) return WaitResult::kWoken;
        if ((p[0].revents & POLLIN) != 0) return WaitResult::kReadable;
        return WaitResult::kFailed;  // hang-up or error with nothing left to read
    }

  private:
    int fd_ = -1;
    posix::LineErrorCounter lineErrors_;
};

class MonotonicClock : public Clock {
  public:
    uint32_t Ticks() override {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        // Milliseconds, kept to 32 bits: the counter wraps as the transport expects.
        return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                     static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
    }
    void Sleep(uint32_t ms) override {
        timespec ts{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

static_assert(std::is_trivially_destructible_v<MonotonicClock>);

Clock& SystemClock() {
    // Trivially destructible, so it is still there when ports close while
    // the library unloads.
    static MonotonicClock clock;
    return clock;
}

std::string PortDevicePath(int32_t portIndex) {
    if (portIndex < 0 || portIndex >= kPortCount) return {};
    // ASTREL_COM<n+1> names the device of port index n; read at every open so
    // that a host can re-point a port between opens.
    const std::string variable = "ASTREL_COM" + std::to_string(portIndex + 1);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return path;
    }
    return "/dev/ttyS" + std::to_string(portIndex);
}

}  // namespace astrel
