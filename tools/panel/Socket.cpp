#include "Socket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace astrel::tool {

namespace {

bool Ready(int fd, short events, std::chrono::milliseconds wait) {
    pollfd ready{fd, events, 0};
    return ::poll(&ready, 1, static_cast<int>(wait.count())) == 1 &&
           (ready.revents & (events | POLLHUP | POLLERR)) != 0;
}

void Address(const sockaddr_storage& address, socklen_t size, std::string& ip, int& port) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), size, host, sizeof host, service,
                      sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int Socket::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Socket::Close() {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(Release());
}

void Socket::AnswerAndClose(const std::string& response) {
    if (fd_ < 0) return;
    // A fresh socket's send buffer takes a short answer whole.
    (void)::send(fd_, response.data(), response.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd_, SHUT_WR);
    ::close(Release());
}

SocketStream::SocketStream(Client& client, std::chrono::milliseconds wait)
    : client_(client), wait_(wait) {}

bool SocketStream::is_readable() const {
    return used_ < client_.bytes.size() || Ready(socket(), POLLIN, wait_);
}

bool SocketStream::is_writable() const {
    return Ready(socket(), POLLOUT, wait_);
}

ssize_t SocketStream::read(char* ptr, size_t size) {
    if (used_ < client_.bytes.size()) {
        const size_t count = std::min(size, client_.bytes.size() - used_);
        std::memcpy(ptr, client_.bytes.data() + used_, count);
        used_ += count;
        return static_cast<ssize_t>(count);
    }
    if (!Ready(socket(), POLLIN, wait_)) return -1;
    return ::recv(socket(), ptr, size, MSG_DONTWAIT);
}

ssize_t SocketStream::write(const char* ptr, size_t size) {
    if (!is_writable()) return -1;
    return ::send(socket(), ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void SocketStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        Address(address, size, ip, port);
    }
}

void SocketStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(socket(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        Address(address, size, ip, port);
    }
}

}  // namespace astrel::tool
