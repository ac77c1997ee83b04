// Stages on Windows COM ports through the DLL's exports, against simulated
// controllers that scripts/test-windows.sh serves on the Linux side and links
// to the ports: COM1 and COM10 a QT3 controller each, COM2 a QT3 controller
// that answers nothing (COM3 is the ordinal host's; nothing is on COM8).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "Astrel.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using Positions = std::vector<int32_t>;
using SteadyClock = std::chrono::steady_clock;

constexpr uint16_t kCom1 = 0;
constexpr uint16_t kSilentCom2 = 1;
constexpr int32_t kTimeOutMs = 300;

int64_t MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

// Processor time (user and kernel) of the calling thread, in microseconds.
int64_t ThreadCpuUs() {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) return -1;
    const auto us = [](const FILETIME& t) {
        return static_cast<int64_t>((uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10);
    };
    return us(kernel) + us(user);
}

Positions Position(int32_t h) {
    int32_t x = -7, y = -7, z = -7;
    EXPECT_EQ(GetStagePosition(h, &x, &y, &z), 1);
    return {x, y, z};
}

using ComPort = NoHandlesTaken;

// Port index n opens "\\.\COM<n+1>", COM10 included; other indexes name no port.
TEST_F(ComPort, IndexesZeroToNineOpenCom1ToCom10) {
    const struct {
        uint16_t port;
        int32_t opened;
    } rows[] = {{0, 1}, {9, 1}, {7, 0}, {10, 0}, {0xFFFF, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        const int32_t h = QtHandle(row.port, kTimeOutMs);
        EXPECT_EQ(OpenComPort(h), row.opened);
        // An open port reaches its controller, which answers at rest; a port that
        // did not open gives no reply.
        EXPECT_EQ(GetStageStatus(h), row.opened == 1 ? 0 : 6);
        ReleaseAstrel(h);
    }
}

TEST_F(ComPort, AStageMovesJogsStopsAndReportsItsPosition) {
    const int32_t h = QtHandle(kCom1, kTimeOutMs);
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(MoveABS(h, 3000, -2000, 1000), 1);
    EXPECT_EQ(GetStageStatus(h), 1);
    int32_t running = -1;
    EXPECT_EQ(IsStageRunningEx(h, &running), 1);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    EXPECT_EQ(IsStageRunning(h), 0);
    EXPECT_EQ(Position(h), (Positions{3000, -2000, 1000}));

    ASSERT_EQ(MoveREL(h, -500, 500, -500), 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    EXPECT_EQ(Position(h), (Positions{2500, -1500, 500}));

    ASSERT_EQ(MoveJOG(h, 1, 0, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(GetStageStatus(h), 1);
    ASSERT_EQ(StopJOG(h), 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    const Positions stopped = Position(h);
    EXPECT_GT(stopped[0], 2500);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Position(h), stopped);

    ASSERT_EQ(MoveOriginPosition(h), 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    EXPECT_EQ(Position(h), (Positions{0, 0, 0}));
}

// A controller that answers nothing gives the no-reply results within the
// time-out, and the wait sleeps instead of keeping a processor busy.
TEST_F(ComPort, ASilentControllerIsNoReplyWithinTheTimeOutAtLittleProcessorCost) {
    const int32_t h = QtHandle(kSilentCom2, kTimeOutMs);
    ASSERT_EQ(OpenComPort(h), 1);
    const auto start = SteadyClock::now();
    EXPECT_EQ(GetStageStatus(h), 6);
    EXPECT_LT(MsSince(start), 2 * kTimeOutMs + 300);  // at most one resend
    int32_t x = 11, y = 22, z = 33, running = 44;
    EXPECT_EQ(GetStagePosition(h, &x, &y, &z), 0);
    EXPECT_EQ(IsStageRunningEx(h, &running), 0);
    EXPECT_EQ((Positions{x, y, z, running}), (Positions{11, 22, 33, 44}));

    constexpr int32_t kLongTimeOutMs = 1500;
    const int32_t waiting = QtHandle(kSilentCom2, kLongTimeOutMs);
    ReleaseAstrel(h);  // frees COM2 for the second handle
    ASSERT_EQ(OpenComPort(waiting), 1);
    char buffer[64] = {};
    int32_t status = -1;
    const auto waitStart = SteadyClock::now();
    const int64_t cpuBefore = ThreadCpuUs();
    EXPECT_EQ(ReceiveStageData(waiting, buffer, sizeof buffer, &status), 0);
    const int64_t cpuUs = ThreadCpuUs() - cpuBefore;
    const int64_t wallMs = MsSince(waitStart);
    EXPECT_EQ(status, 1);  // timed out
    std::printf("ReceiveStageData waiting %d ms for no reply: wall %lld ms, cpu %.3f ms\n",
                static_cast<int>(kLongTimeOutMs), static_cast<long long>(wallMs),
                static_cast<double>(cpuUs) / 1000.0);
    EXPECT_GE(wallMs, kLongTimeOutMs);
    EXPECT_GE(cpuUs, 0);
    EXPECT_LT(cpuUs, 100000);
}

}  // namespace
}  // namespace astrel::test
