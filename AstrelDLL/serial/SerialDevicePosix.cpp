// The serial seam on POSIX systems: termios in raw mode, exclusive open,
// poll for waiting, and a USB adapter asked for low-latency mode. Reads never
// block (O_NONBLOCK with VMIN 1), so a read of 0 bytes means the device hung
// up and EAGAIN means nothing is waiting.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "diag/LastError.h"
#include "serial/OutputDrain.h"
#include "serial/SerialDevice.h"
#include "serial/SerialDevicePosixLine.h"
#include "serial/SerialDevicePosixLowLatency.h"
#include "serial/SerialDevicePosixWait.h"
#include "serial/SerialDeviceTcp.h"

namespace astrel {
namespace {

// Notes why the device did not open, from the system's `error`; false.
bool OpenFailed(int error) {
    const char* reason = nullptr;
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            reason = "no such device";
            break;
        case EACCES:
        case EPERM:
            reason = "permission denied";
            break;
        case EBUSY:
        case EWOULDBLOCK:
            reason = "busy (another program has it open)";
            break;
        case ENOTTY:
        case EINVAL:
            reason = "not a serial device (not a tty)";
            break;
        default:
            reason = std::strerror(error);
    }
    NoteOpenFailed(reason);
    return false;
}

class PosixSerialDevice : public SerialDevice {
  public:
    ~PosixSerialDevice() override { CloseDescriptor(); }

    bool Open(const std::string& path) override {
        CloseDescriptor();
        if (path.empty()) return false;
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return OpenFailed(errno);
        // Raw mode first, so that nothing the controller sends during set-up
        // is echoed back to it. Then nobody else may open the device while we
        // hold it: TIOCEXCL stops other opens except privileged ones, and the
        // advisory lock stops every port object of this library, privileged
        // or not.
        if (!posix::MakeRaw(fd) || ::ioctl(fd, TIOCEXCL) != 0 ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return OpenFailed(error);
        }
        fd_ = fd;
        lineErrors_ = posix::LineErrorCounter(fd_);
        // A USB adapter otherwise holds what it received for several ms.
        lowLatency_ = posix::RequestLowLatency(fd_, path, "/sys", posix::SystemSerialFlags());
        return true;
    }

    void Close() override { CloseDescriptor(); }

    void CloseDescriptor() {
        if (fd_ >= 0) {
            if (lowLatency_ == posix::LowLatency::kSet) {
                posix::RestoreLowLatency(fd_, posix::SystemSerialFlags());
            }
            lowLatency_ = posix::LowLatency::kNotUsb;
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

    bool LineError() override { return lineErrors_.Changed(); }

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
        return posix::WriteWithin(fd_, data, size, timeoutMs, ::write);
    }

    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override {
        return posix::WaitReadable(fd_, timeoutMs, wake);
    }

    std::string OpenNote() const override { return posix::LowLatencyNote(lowLatency_); }

  private:
    int fd_ = -1;
    posix::LineErrorCounter lineErrors_;
    posix::LowLatency lowLatency_ = posix::LowLatency::kNotUsb;
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
    void Sleep(uint32_t ms, const WakeSignal* wake) override {
        // A wait for no descriptor but the wake signal's; a signal handler
        // that interrupts it does not shorten the pause.
        const uint32_t start = Ticks();
        for (uint32_t elapsed = 0; elapsed < ms; elapsed = Ticks() - start) {
            if (posix::WaitReadable(-1, ms - elapsed, wake) == WaitResult::kWoken) return;
        }
    }
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice(std::string_view path,
                                                     uint32_t connectTimeoutMs) {
    if (IsSocketPath(path)) return MakeTcpSerialDevice(connectTimeoutMs);
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
