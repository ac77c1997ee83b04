// The network serial server on POSIX systems: a non-blocking TCP socket,
// poll for waiting. Once the server has closed the connection and nothing is
// left to read, a read finds the end of the stream: the device has hung up.
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "diag/LastError.h"
#include "serial/OutputDrain.h"
#include "serial/SerialDevicePosixWait.h"
#include "serial/SerialDeviceTcp.h"
#include "serial/SerialDeviceTcpConnect.h"

namespace astrel {
namespace {

// How long a connection waits for the server to acknowledge what it was sent.
constexpr unsigned kDeadServerMs = 10000;

ssize_t SendOnce(int fd, const void* data, size_t size) {
    // A server that closed the connection makes this fail with EPIPE, not a signal.
    return ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// A connected socket to `address`, or -1 with errno set.
int ConnectWithin(const addrinfo& address, uint32_t timeoutMs) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, INT32_MAX)));
    } while (ready < 0 && errno == EINTR);
    int error = ready == 0 ? ETIMEDOUT : 0;
    socklen_t length = sizeof error;
    if (ready < 0 || (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    // Each command goes out at once instead of waiting to join the next.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A server that died, or a cable pulled, is a hang-up within about 10 s:
    // bytes it does not acknowledge (a stop's, say) are given up after
    // kDeadServerMs, and a quiet connection is probed every 2 s.
    const int idleS = 2, probeS = 2, probes = 4;
    const unsigned deadMs = kDeadServerMs;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &probeS, sizeof probeS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &deadMs, sizeof deadMs);
    return fd;
}

class TcpSerialDevice : public SerialDevice {
  public:
    explicit TcpSerialDevice(uint32_t connectMs) : connectMs_(connectMs) {}
    ~TcpSerialDevice() override { Close(); }

    bool Open(const std::string& path) override {
        Close();
        return ConnectToServer(
            path, connectMs_,
            [this](const addrinfo& address, uint32_t ms) {
                fd_ = ConnectWithin(address, ms);
                return fd_ < 0 ? errno : 0;
            },
            ECONNREFUSED, ETIMEDOUT, [](int error) { return std::strerror(error); });
    }

    void Close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // The server runs the line at its own settings.
    bool Configure(const SerialSettings&) override { return fd_ >= 0; }

    bool DrainOutput(uint32_t timeoutMs) override {
        // Until the server has acknowledged every byte written; a closed
        // connection never will.
        return WaitForOutputToLeave(SystemClock(), timeoutMs, [this]() -> int64_t {
            int queued = 0;
            if (fd_ < 0 || ::ioctl(fd_, SIOCOUTQ, &queued) != 0 || PeerClosed()) return -1;
            return std::max(queued, 0);
        });
    }

    bool Purge(bool input, bool) override {
        // Output already handed to the connection cannot be called back.
        if (fd_ < 0) return false;
        uint8_t dropped[256];
        while (input) {
            const ssize_t n = ::recv(fd_, dropped, sizeof dropped, MSG_DONTWAIT);
            if (n > 0) continue;
            if (n < 0 && errno == EINTR) continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return true;
    }

    // The line's errors stay with the server.
    bool LineError() override { return false; }

    int32_t Read(uint8_t* buffer, uint32_t size) override {
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
            if (n > 0) return static_cast<int32_t>(n);
            if (n == 0) return -1;  // the server closed the connection
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
    }

    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override {
        return posix::WriteWithin(fd_, data, size, timeoutMs, SendOnce);
    }

    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override {
        return posix::WaitReadable(fd_, timeoutMs, wake);
    }

  private:
    bool PeerClosed() const {
        uint8_t byte = 0;
        const ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }

    uint32_t connectMs_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeTcpSerialDevice(uint32_t connectTimeoutMs) {
    return std::make_unique<TcpSerialDevice>(connectTimeoutMs);
}

}  // namespace astrel
