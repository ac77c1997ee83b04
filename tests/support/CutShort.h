// A call in progress on a stage handle cut short from another thread by a
// stop, a close or a release: how long the cut takes. Through the C
// interface only, for the end-to-end tests of every system.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace astrel::test {

// Milliseconds since `start`.
inline double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The calls that cut another thread's call on the same handle short.
struct Cut {
    const char* name;
    void (*make)(int32_t h);
};
inline constexpr Cut kCuts[] = {
    {"stop", [](int32_t h) { StopMove(h); }},
    {"close", [](int32_t h) { CloseComPort(h); }},
    {"release", ReleaseAstrel},
};

// Times each of kCuts with `timed(cut)`, which gives its milliseconds: each
// must be within 50 ms. Prints the row of the table of cuts as `name`.
inline void TimeEachCut(const std::string& name, const std::function<double(const Cut&)>& timed) {
    double ms[std::size(kCuts)] = {};
    for (size_t i = 0; i < std::size(kCuts); ++i) {
        SCOPED_TRACE(kCuts[i].name);
        ms[i] = timed(kCuts[i]);
        EXPECT_LT(ms[i], 50.0);
    }
    std::printf("%-36s stop %7.2f ms  close %7.2f ms  release %7.2f ms\n", name.c_str(), ms[0],
                ms[1], ms[2]);
}

// How a test watches each cut: `settle()` returns once the call waits, and
// `heard()` (may be empty) once the controller has a stop.
struct CutHooks {
    std::function<void()> settle = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    std::function<void()> heard;
};

// Cuts `call()` on `h` short with a stop, a close and a release in turn (the
// port opened before each): `call` runs in a thread of its own and each cut
// comes from this one once it waits. Each cut ends within 50 ms, counted
// until it returned or, for a stop that `heard` watches, until the
// controller had it (a stop that waits for the controller's acknowledgement
// returns later). `call` must end as a call cut short does (it gives
// whether it did, with the last error "interrupted") within a second.
// Prints the row as `name`.
inline void CutEachWay(int32_t h, const std::string& name, const std::function<bool()>& call,
                       const CutHooks& hooks = {}) {
    TimeEachCut(name, [&](const Cut& cut) {
        EXPECT_EQ(OpenComPort(h), 1);
        const auto callStart = std::chrono::steady_clock::now();
        std::thread caller([&] {
            EXPECT_TRUE(call());
            EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_INTERRUPTED);
        });
        hooks.settle();
        const bool untilHeard = cut.make == kCuts[0].make && hooks.heard;
        const auto cutStart = std::chrono::steady_clock::now();
        std::thread cutter(cut.make, h);
        if (untilHeard) hooks.heard();
        if (!untilHeard) cutter.join();
        const double ms = MsSince(cutStart);
        if (untilHeard) cutter.join();
        caller.join();
        EXPECT_LT(MsSince(callStart), 1000.0);
        return ms;
    });
}

// A TCP port of the loopback address whose server never accepts: the one
// place in its queue of connections is taken, so a new connection hangs.
class UnansweringServer {
  public:
    using Socket = decltype(::socket(AF_INET, SOCK_STREAM, 0));
    static void CloseSocket(Socket s) {
#ifdef _WIN32
        ::closesocket(s);
#else
        ::close(s);
#endif
    }

    UnansweringServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
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
    TimeEachCut(name, [h](const Cut& cut) {
        const auto cutStart = std::chrono::steady_clock::now();
        cut.make(h);
        return MsSince(cutStart);
    });
    opener.join();
    EXPECT_GE(MsSince(start), 2900.0);
    EXPECT_LT(MsSince(start), 4000.0);
}

}  // namespace astrel::test
