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
    for (Line& line : lines_) {
        char path[256] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&line.master, &line.slave, path, &raw, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        line.path = path;
    }
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
}

PtyPeer::~PtyPeer() {
    const uint64_t one = 1;
    if (::write(stop_, &one, sizeof one) != sizeof one) std::terminate();
    thread_.join();
    ::close(stop_);
    for (Line& line : lines_) {
        ::close(line.slave);
        ::close(line.master);
    }
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
    pollfd fds[kLines + 1] = {
        {lines_[0].master, POLLIN, 0}, {lines_[1].master, POLLIN, 0}, {stop_, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, kLines + 1, 1000);
        if (ready < 0 || fds[kLines].revents != 0) return;
        for (int i = 0; i < kLines; ++i) {
            if (fds[i].revents != 0 && !Take(lines_[i])) return;
        }
    }
}

bool PtyPeer::Take(Line& line) {
    char buffer[512];
    const ssize_t n = ::read(line.master, buffer, sizeof buffer);
    if (n <= 0) return false;
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\r' && buffer[i] != '\n') {
            line.partial += buffer[i];
            continue;
        }
        if (line.partial.empty()) continue;
        const std::string reply = ReplyTo(line.partial);
        {
            std::lock_guard lock(mutex_);
            heard_.push_back(line.partial);
        }
        if (!reply.empty() && ::write(line.master, reply.data(), reply.size()) < 0) return false;
        line.partial.clear();
    }
    return true;
}

}  // namespace astrel::bench
