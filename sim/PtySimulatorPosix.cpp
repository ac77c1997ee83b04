// The runner on Linux: openpty, raw mode on both ends, poll on the
// controller's end and an eventfd that stops the thread; or a listening TCP
// socket whose connections take the controller's end.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "PtySimulator.h"
#include "TcpListener.h"

namespace astrel::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kMaxLineBytes = 1024;  // a longer line is cut here
constexpr int kWriteBoundMs = 1000;
constexpr int kRefusedAcceptPauseMs = 100;  // before asking again for a refused connection

bool MakeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool AddFlags(int fd, int statusFlags) {
    const int status = ::fcntl(fd, F_GETFL);
    const int descriptor = ::fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && ::fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
           ::fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}

enum class Heard { kByte, kEmptyLine, kLine, kNoise };

// Adds one byte from the host to `line`. Without `lineEnd` any CR or LF ends
// a line; with it only its last byte does, and a line not ended by the whole
// of `lineEnd`, or holding another CR or LF, is noise. A line comes back
// without its line end.
Heard TakeByte(char c, std::string_view lineEnd, std::string& line) {
    const bool ends = lineEnd.empty() ? c == '\r' || c == '\n' : c == lineEnd.back();
    if (!ends) {
        if (line.size() < kMaxLineBytes) line += c;
        return Heard::kByte;
    }
    const std::string_view before = lineEnd.empty() ? "" : lineEnd.substr(0, lineEnd.size() - 1);
    const bool whole = line.ends_with(before);
    if (whole) line.resize(line.size() - before.size());
    if (whole && line.empty()) return Heard::kEmptyLine;
    return whole && line.find_first_of("\r\n") == std::string::npos ? Heard::kLine : Heard::kNoise;
}

// The termios speed of `baud`; B0 for a rate no controller here runs at.
speed_t SpeedOf(uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        default:
            return B0;
    }
}

// Whole milliseconds until `deadline`, rounded up, at least 0.
int MsUntil(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

}  // namespace

PtySimulator::PtySimulator(std::unique_ptr<Dialect> dialect, Trace trace)
    : simulator_(std::move(dialect)),
      trace_(std::move(trace)),
      settings_(simulator_.GetDialect().Line()) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    char name[PATH_MAX] = {};
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0 || ::ttyname_r(slave_, name, sizeof name) != 0 || !MakeRaw(master_) ||
        !MakeRaw(slave_) || !AddFlags(master_, O_NONBLOCK) || !AddFlags(slave_, 0)) {
        CloseDescriptors();
        throw std::runtime_error("cannot set up the pseudo-terminal");
    }
    slavePath_ = name;
    Start();
}

PtySimulator::PtySimulator(std::unique_ptr<Dialect> dialect, Trace trace,
                           const TcpEndpoint& endpoint)
    : simulator_(std::move(dialect)),
      trace_(std::move(trace)),
      settings_(simulator_.GetDialect().Line()) {
    uint16_t port = 0;
    tcp_ = true;
    listen_ = ListenTcp(endpoint.host, endpoint.port, port);
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0) {
        CloseDescriptors();
        throw std::runtime_error("cannot set up the TCP runner");
    }
    slavePath_ = "socket://" + endpoint.host + ":" + std::to_string(port);
    Start();
}

void PtySimulator::Start() {
    try {
        thread_ = std::thread(&PtySimulator::Serve, this);
    } catch (...) {
        CloseDescriptors();
        throw;
    }
}

PtySimulator::~PtySimulator() {
    const uint64_t one = 1;
    if (::write(stop_, &one, sizeof one) != sizeof one) {
        // Cannot happen for an eventfd far from its limit; the join below would then wait.
    }
    thread_.join();
    char target[PATH_MAX] = {};
    if (!link_.empty() && ::readlink(link_.c_str(), target, sizeof target - 1) > 0 &&
        slavePath_ == target) {
        ::unlink(link_.c_str());
    }
    CloseDescriptors();
}

bool PtySimulator::LinkAs(const std::string& path) {
    if (!link_.empty() || ::symlink(slavePath_.c_str(), path.c_str()) != 0) return false;
    link_ = path;
    return true;
}

void PtySimulator::CloseDescriptors() {
    for (int* fd : {&master_, &slave_, &stop_, &listen_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void PtySimulator::Serve() {
    std::string line;
    Response stream;  // the lines still to come after the reply, if any
    SteadyClock::time_point nextShortLine{};
    SteadyClock::time_point lateLineAt{};
    char buffer[256];
    for (;;) {
        if (master_ < 0) {
            if (!AwaitHost()) return;
            line.clear();
            stream = {};
            lateReplies_.clear();
            continue;
        }
        if (!WriteDueReplies()) return;
        int timeout = stream.repeatLine.empty() ? -1 : MsUntil(nextShortLine);
        const auto wakeBy = [&timeout](SteadyClock::time_point at) {
            timeout = timeout < 0 ? MsUntil(at) : std::min(timeout, MsUntil(at));
        };
        if (!stream.lateLine.empty()) wakeBy(lateLineAt);
        if (!lateReplies_.empty()) wakeBy(lateReplies_.front().first);
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) return;
        if (ready == 0) {
            if (!WriteDueReplies()) return;  // a reply goes before the lines that follow it
            const auto now = SteadyClock::now();
            if (!stream.lateLine.empty() && now >= lateLineAt) {
                if (!Write(std::exchange(stream.lateLine, {}), 0)) return;
            }
            if (!stream.repeatLine.empty() && now >= nextShortLine) {
                if (!Write(stream.repeatLine, 0)) return;
                nextShortLine = now + std::chrono::milliseconds(stream.repeatMs);
            }
            continue;
        }
        if ((fds[0].revents & POLLIN) == 0) {  // the line failed
            if (HostGone()) continue;
            return;
        }
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (count <= 0) {
            if (HostGone()) continue;
            return;
        }
        stream.lateLine.clear();  // the host spoke first
        const bool check = checkLine_;
        for (const char c : std::string_view(buffer, static_cast<size_t>(count))) {
            const Heard heard = TakeByte(c, check ? settings_.hostLineEnd : "", line);
            if (heard == Heard::kByte) continue;
            if (heard == Heard::kLine && (!check || HostAtLineSettings(settings_))) {
                if (!Handle(line, stream)) return;
                // The lines that follow a reply count from when it is written.
                const auto replied =
                    lateReplies_.empty() ? SteadyClock::now() : lateReplies_.back().first;
                nextShortLine = replied + std::chrono::milliseconds(stream.repeatMs);
                lateLineAt = replied + std::chrono::milliseconds(stream.lateMs);
            }
            line.clear();
        }
    }
}

bool PtySimulator::AwaitHost() {
    if (listen_ < 0) return false;
    pollfd fds[2] = {{listen_, POLLIN, 0}, {stop_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0) return errno == EINTR;
    if (fds[1].revents != 0) return false;
    master_ = AcceptTcp(listen_);  // -1 (gone before it was taken): wait again
    if (master_ < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED &&
        errno != EINTR) {
        // The system refuses the connection (out of descriptors, say) while it
        // stays waiting: look again a little later instead of at once.
        pollfd stop{stop_, POLLIN, 0};
        if (::poll(&stop, 1, kRefusedAcceptPauseMs) > 0) return false;
    }
    return true;
}

bool PtySimulator::HostGone() {
    if (!tcp_) return false;
    ::close(master_);
    master_ = -1;
    return true;
}

bool PtySimulator::Handle(const std::string& line, Response& stream) {
    if (trace_) trace_(true, line);
    {
        std::lock_guard lock(mutex_);
        stream = simulator_.Respond(line);
    }
    if (stream.hangUp) {
        ::close(master_);
        master_ = -1;
        if (listen_ >= 0) ::close(listen_);  // a server that is gone refuses new hosts too
        listen_ = -1;
        return false;
    }
    stream.repeatMs = std::max<uint32_t>(stream.repeatMs, 1);
    if (stream.delayMs == 0 && lateReplies_.empty()) return Write(stream.bytes, kWriteBoundMs);
    auto due = SteadyClock::now() + std::chrono::milliseconds(stream.delayMs);
    if (!lateReplies_.empty()) due = std::max(due, lateReplies_.back().first);
    lateReplies_.emplace_back(due, std::move(stream.bytes));
    return true;
}

bool PtySimulator::WriteDueReplies() {
    while (!lateReplies_.empty() && MsUntil(lateReplies_.front().first) == 0) {
        const std::string bytes = std::move(lateReplies_.front().second);
        lateReplies_.pop_front();
        if (!Write(bytes, kWriteBoundMs)) return false;
    }
    return true;
}

bool PtySimulator::HostAtLineSettings(const LineSettings& settings) const {
    if (tcp_) return true;  // over TCP the server runs the line at the controller's settings
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) return false;
    // The parity-enable flag does not stay on a pseudo-terminal; parity
    // checking (INPCK) and the parity sense do.
    Parity parity = Parity::kNone;
    if ((t.c_iflag & INPCK) != 0) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if ((t.c_cflag & CMSPAR) != 0) {
            parity = odd ? Parity::kMark : Parity::kSpace;
        } else {
            parity = odd ? Parity::kOdd : Parity::kEven;
        }
    }
    FlowControl flow = FlowControl::kNone;
    if ((t.c_cflag & CRTSCTS) != 0) flow = FlowControl::kRtsCts;
    if ((t.c_iflag & (IXON | IXOFF)) != 0) flow = FlowControl::kXonXoff;
    return ::cfgetospeed(&t) == SpeedOf(settings.baud) &&
           ((t.c_cflag & CSTOPB) != 0) == (settings.stopBits == 2) && parity == settings.parity &&
           flow == settings.flowControl;
}

bool PtySimulator::Write(std::string_view bytes, int boundMs) {
    if (bytes.empty() || master_ < 0) return true;
    if (trace_) trace_(false, bytes);
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(boundMs);
    while (!bytes.empty()) {
        // A TCP host that has gone makes send fail (EPIPE) instead of raising SIGPIPE.
        const ssize_t count = tcp_ ? ::send(master_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                   : ::write(master_, bytes.data(), bytes.size());
        if (count > 0) {
            bytes.remove_prefix(static_cast<size_t>(count));
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) return HostGone();
        const int left = MsUntil(deadline);
        if (left == 0) return true;  // the host does not read: the rest is dropped
        pollfd fds[2] = {{master_, POLLOUT, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, left) < 0 && errno != EINTR) return false;
        if (fds[1].revents != 0) return false;
    }
    return true;
}

}  // namespace astrel::sim
