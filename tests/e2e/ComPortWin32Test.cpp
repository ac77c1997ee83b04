// Stages on Windows COM ports through the DLL's exports, against simulated
// controllers that scripts/test-windows.sh serves on the Linux side and links
// to the ports: a QT3 controller on COM10, which only the device namespace
// reaches; COM2 a QT3 controller that answers nothing; COM1 one that answers
// late; a QT3 controller behind a network serial server at ASTREL_TCP_STAGE.
// (Each maker's language over a port is the contracts' on Linux: above the
// port the code is the same; the line settings each maker's defaults make
// on Windows, the unit tests'.)
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "Astrel.h"
#include "CutShort.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

constexpr uint16_t kLateCom1 = 0, kSilentCom2 = 1, kQtCom10 = 9;

// Processor time (user and kernel) of the calling thread, in 100 ns units.
uint64_t ThreadCpuTime() {
    FILETIME created, exited, kernel, user;
    EXPECT_TRUE(::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user));
    return std::bit_cast<uint64_t>(kernel) + std::bit_cast<uint64_t>(user);  // little-endian
}

using ComPort = NoHandlesTaken;

// The values of the handles this process has open.
std::set<uintptr_t> OpenHandles() {
    std::set<uintptr_t> open;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) open.insert(value);
    }
    return open;
}

// ASTREL_COM8=socket://HOST:PORT puts COM8 behind a network serial server:
// the script serves a QT3 controller so on the Linux side, answering 500 ms
// late, and names it in ASTREL_TCP_STAGE. Its reply ends the wait as it comes.
// The connection is not inherited by a child process and probes a quiet
// server; a connection that fails is named in the system's words.
TEST_F(ComPort, Com8BehindANetworkSerialServer) {
    ::SetEnvironmentVariableA("ASTREL_COM8", "socket://255.255.255.255:1");
    EXPECT_EQ(OpenComPort(QtHandle(7, 300)), 0);
    char text[256] = {};
    AstrelLastErrorText(text, sizeof text);
    EXPECT_NE(std::string(text).find(": Network is unreachable"), std::string::npos) << text;
    const char* server = std::getenv("ASTREL_TCP_STAGE");
    ::SetEnvironmentVariableA("ASTREL_COM8", server);
    const int32_t h = QtHandle(7, 3000);
    const std::set<uintptr_t> before = OpenHandles();
    EXPECT_EQ(OpenComPort(h), 1);
    int sockets = 0;
    for (const uintptr_t handle : OpenHandles()) {
        // Only a socket has socket options: the connection, the one socket opened.
        int keepalive = 0, size = sizeof keepalive;
        if (before.count(handle) != 0 ||
            ::getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_KEEPALIVE,
                         reinterpret_cast<char*>(&keepalive), &size) != 0) {
            continue;
        }
        ++sockets;
        DWORD flags = HANDLE_FLAG_INHERIT;
        ::GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags);
        EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
        EXPECT_NE(keepalive, 0);
    }
    EXPECT_EQ(sockets, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPosition(h, 3), (Positions{0, 0, 0}));
    EXPECT_LT(MsSince(start), 1500) << "the reply waited out the time-out";
    EXPECT_EQ(CloseComPort(h), 1);
    ::SetEnvironmentVariableA("ASTREL_COM8", nullptr);
    char device[16] = {};
    EXPECT_EQ(GetPortDevice(QtHandle(9), device, sizeof device), 1);
    EXPECT_STREQ(device, "\\\\.\\COM10");
}

// A reply wait on a controller that answers nothing ends at its time-out, and
// sleeps meanwhile instead of keeping a processor busy.
TEST_F(ComPort, ASilentControllerTimesOutAtLittleProcessorCost) {
    constexpr int32_t kTimeOutMs = 1500;
    const int32_t h = QtHandle(kSilentCom2, kTimeOutMs);
    ASSERT_EQ(OpenComPort(h), 1);
    char buffer[64] = {};
    int32_t status = -1;
    const auto start = std::chrono::steady_clock::now();
    const uint64_t cpuBefore = ThreadCpuTime();
    EXPECT_EQ(ReceiveStageData(h, buffer, sizeof buffer, &status), 0);
    EXPECT_LT(ThreadCpuTime() - cpuBefore, 1000000u);  // 100 ms
    EXPECT_EQ(status, 1);                              // timed out
    EXPECT_GE(MsSince(start), kTimeOutMs);
    EXPECT_LT(MsSince(start), kTimeOutMs + 500);
}

// A stop, a close and a release from another thread each end, within 50 ms,
// a query waiting on the silent controller (COM2) and on one answering late
// (COM1), and a QT direction change pausing between its commands (COM10).
TEST_F(ComPort, AStopCloseOrReleaseCutsEveryWaitShort) {
    const auto query = [](int32_t h) { return GetStageStatus(h) == 6; };
    const struct {
        const char* name;
        uint16_t port;
        std::function<bool(int32_t)> call;
    } rows[] = {
        {"QT query, silent", kSilentCom2, query},
        {"QT query, answering late", kLateCom1, query},
        {"QT direction change pause", kQtCom10,
         [](int32_t h) { return StgSetStageDirection(h, 1, -1) == 0; }},
    };
    for (const auto& row : rows) {
        const int32_t h = QtHandle(row.port, 5000);
        CutEachWay(h, std::string(row.name) + " (Wine)", [&] { return row.call(h); });
    }
}

// An open that connects to a network serial server (one whose queue of
// connections is full, so it never accepts) holds no stop, close or release
// back, and gives up after 3 s, the least it waits.
TEST_F(ComPort, AnOpenConnectingHoldsNoStopCloseOrReleaseBack) {
    const UnansweringServer server;
    ::SetEnvironmentVariableA("ASTREL_COM8", server.Path().c_str());
    CutAConnectingOpen(QtHandle(7, 300), "network open, connecting (Wine)");
    ::SetEnvironmentVariableA("ASTREL_COM8", nullptr);
}

}  // namespace
}  // namespace astrel::test
