// An open that connects to a network serial server which never accepts,
// cut short from another thread, for the end-to-end tests of every system.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "CutShort.h"

namespace astrel::test {

// A TCP port of the loopback address whose server never accepts: the one
// place in its queue of connections is taken, so a new connection hangs.
class UnansweringServer {
  public:
    // The system's socket, its address length, and how it is closed.
#ifdef _WIN32
    using Socket = SOCKET;
    using Length = int;
    static void CloseSocket(Socket s) {
        ::closesocket(s);
    }
#else
    using Socket = int;
    using Length = socklen_t;
    static void CloseSocket(Socket s) {
        ::close(s);
    }
#endif

    UnansweringServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Length length = sizeof address;
        auto* at = reinterpret_cast<sockaddr*>(&address);
        EXPECT_EQ(::bind(listener_, at, length), 0);
        EXPECT_EQ(::listen(listener_, 0), 0);
        EXPECT_EQ(::getsockname(listener_, at, &length), 0);
        EXPECT_EQ(::connect(queued_, at, length), 0);
        port_ = ntohs(address.sin_port);
    }
    ~UnansweringServer() {
        CloseSocket(queued_);
        CloseSocket(listener_);
#ifdef _WIN32
        if (wsa_) ::WSACleanup();
#endif
    }
    UnansweringServer(const UnansweringServer&) = delete;
    UnansweringServer& operator=(const UnansweringServer&) = delete;

    std::string Path() const {
        return "socket://127.0.0.1:" + std::to_string(port_);
    }

  private:
#ifdef _WIN32
    WSADATA started_{};  // before the sockets
    const bool wsa_ = ::WSAStartup(MAKEWORD(2, 2), &started_) == 0;
#endif
    Socket listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    Socket queued_ = ::socket(AF_INET, SOCK_STREAM, 0);
    uint16_t port_ = 0;
};

// Opens `h` (a handle whose port names an UnansweringServer, with a short
// time-out) in a thread of its own and, while it connects, makes each cut
// on `h` from this thread: each ends within 50 ms, and the open then gives
// 0, after 3 s (the least an open waits). Prints the row as `name`.
inline void CutAConnectingOpen(int32_t h, const std::string& name) {
    const auto start = std::chrono::steady_clock::now();
    std::thread opener([h] { EXPECT_EQ(OpenComPort(h), 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    double ms[3] = {};
    for (const Cut cut : kCuts) {
        const auto cutStart = std::chrono::steady_clock::now();
        MakeCut(cut, h);
        ms[static_cast<int>(cut)] = MsSince(cutStart);
        EXPECT_LT(ms[static_cast<int>(cut)], 50.0) << static_cast<int>(cut);
    }
    opener.join();
    PrintCutRow(name, ms);
    EXPECT_GE(MsSince(start), 2900.0);
    EXPECT_LT(MsSince(start), 4000.0);
}

}  // namespace astrel::test
