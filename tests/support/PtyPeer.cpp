#include "PtyPeer.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace astrel::test {

int OpenDescriptorsOn(const std::string& path) {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (dirent* entry = ::readdir(dir)) {
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target) ++count;
    }
    ::closedir(dir);
    return count;
}

PtyPeer::PtyPeer(int portIndex) : portIndex_(portIndex) {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    const std::string variable = "ASTREL_COM" + std::to_string(portIndex_ + 1);
    ::setenv(variable.c_str(), slavePath_.c_str(), 1);
}

PtyPeer::~PtyPeer() {
    StopServing();
    const std::string variable = "ASTREL_COM" + std::to_string(portIndex_ + 1);
    ::unsetenv(variable.c_str());
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
}

void PtyPeer::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0) return;
    }
}

std::string PtyPeer::Read(int firstMs, int quietMs) {
    std::string out;
    int wait = firstMs;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, wait) <= 0 || (p.revents & POLLIN) == 0) return out;
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return out;
        out.append(buf, static_cast<size_t>(n));
        wait = quietMs;
    }
}

void PtyPeer::CloseMaster() {
    StopServing();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPeer::Serve(std::function<std::string(const std::string&)> answer) {
    StopServing();
    if (::pipe(stopPipe_) != 0) throw std::runtime_error("pipe failed");
    server_ = std::thread([this, answer = std::move(answer)] {
        std::string line;
        for (;;) {
            pollfd p[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN) != 0) return;
            if ((p[0].revents & POLLIN) == 0) return;
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) return;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\r' && buf[i] != '\n') {
                    line += buf[i];
                    continue;
                }
                if (line.empty()) continue;
                {
                    std::lock_guard lock(mutex_);
                    lines_.push_back(line);
                }
                const std::string reply = answer(line);
                if (!reply.empty()) Write(reply);
                line.clear();
            }
        }
    });
}

void PtyPeer::StopServing() {
    if (server_.joinable()) {
        const char stop = 1;
        (void)!::write(stopPipe_[1], &stop, 1);
        server_.join();
    }
    for (int& fd : stopPipe_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

std::vector<std::string> PtyPeer::Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool PtyPeer::WaitForLines(size_t count, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (Lines().size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Lines().size() >= count;
}

}  // namespace astrel::test
