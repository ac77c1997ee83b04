// A connected socket the panel serves, owned: closed when its owner ends.
// Its stream is what cpp-httplib reads a request from and writes the answer
// to: the bytes the gate read already come first, and every wait for the
// socket is bounded.
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>

namespace astrel::tool {

class Socket {
  public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : fd_(other.Release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int Fd() const { return fd_; }
    int Release();
    void Close();
    // Sends what fits without waiting and closes: the short answers the gate gives.
    void AnswerAndClose(const std::string& response);

  private:
    int fd_ = -1;
};

// A connection handed from the gate to a serving thread: its socket and the
// bytes read from it so far (a whole request head, perhaps more).
struct Client {
    Socket socket;
    std::string bytes;
};

class SocketStream : public httplib::Stream {
  public:
    // Each read or write waits at most `wait` for the socket.
    SocketStream(Client& client, std::chrono::milliseconds wait);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return client_.socket.Fd(); }

    // The bytes read already that the request did not use (a next request).
    std::string Unread() const { return client_.bytes.substr(used_); }

  private:
    Client& client_;
    std::chrono::milliseconds wait_;
    size_t used_ = 0;
};

}  // namespace astrel::tool
