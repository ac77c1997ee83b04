#include "PtyPeer.h"

#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <exception>
#include <stdexcept>
#include <utility>

namespace astrel::bench {

PtyPeer::PtyPeer(Answer answer) : answer_(std::move(answer)) {
    char path[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, path, &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    path_ = path;
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
}

PtyPeer::~PtyPeer() {
    const uint64_t one = 1;
    if (::write(stop_, &one, sizeof one) != sizeof one) std::terminate();
    thread_.join();
    ::close(stop_);
    ::close(slave_);
    ::close(master_);
}

std::vector<std::string> PtyPeer::TakeHeard() {
    std::lock_guard lock(mutex_);
    return std::exchange(heard_, {});
}

std::string PtyPeer::ReplyTo(const std::string& line) {
    std::lock_guard lock(mutex_);
    auto found = replies_.find(line);
    if (found == replies_.end()) found = replies_.emplace(line, answer_(line)).first;
    return found->second;
}

void PtyPeer::Serve() {
    pollfd fds[] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
    while (::poll(fds, 2, 1000) >= 0 && fds[1].revents == 0) {
        if (fds[0].revents != 0 && !Take()) return;
    }
}

bool PtyPeer::Take() {
    char buffer[512];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\r' && buffer[i] != '\n') {
            partial_ += buffer[i];
            continue;
        }
        if (partial_.empty()) continue;
        const std::string reply = ReplyTo(partial_);
        {
            std::lock_guard lock(mutex_);
            heard_.push_back(partial_);
        }
        if (!reply.empty() && ::write(master_, reply.data(), reply.size()) < 0) return false;
        partial_.clear();
    }
    return true;
}

}  // namespace astrel::bench
