// Stages on Windows COM ports through the DLL's exports, against simulated
// controllers that scripts/test-windows.sh serves on the Linux side and links
// to the ports: one of each maker, listed in ASTREL_COM_STAGES as
// "port:makerType:model" words (port 1 is COM1); COM10 a QT3 controller;
// COM2 a QT3 controller that answers nothing. Nothing is on COM8; a QT3
// controller behind a network serial server is at ASTREL_TCP_STAGE.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Astrel.h"
#include "Makers.h"
#include "StageHandles.h"
#include "StopLatency.h"

namespace astrel::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

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

// A maker's model served on a COM port.
struct ComStage {
    uint16_t port;  // port index: 0 is COM1
    Maker maker;
};

void PrintTo(const ComStage& stage, std::ostream* out) {
    *out << stage.maker.name << " on COM" << stage.port + 1;
}

// The stages ASTREL_COM_STAGES lists, each with its row of kMakers.
std::vector<ComStage> ServedStages() {
    std::vector<ComStage> stages;
    const char* list = std::getenv("ASTREL_COM_STAGES");
    std::istringstream words(list != nullptr ? list : "");
    for (std::string word; words >> word;) {
        for (const Maker& maker : kMakers) {
            for (int com = 1; com <= 10; ++com) {
                const std::string listed =
                    std::to_string(com) + ":" + std::to_string(maker.makerType) + ":" + maker.model;
                if (word == listed) stages.push_back({static_cast<uint16_t>(com - 1), maker});
            }
        }
    }
    return stages;
}

using ComPort = NoHandlesTaken;

// Port index n opens "\\.\COM<n+1>", COM10 included (COM1 is one of the
// stages above); index 7 is COM8, where nothing is; other indexes name no port.
TEST_F(ComPort, IndexNineOpensCom10) {
    for (const uint16_t port : {9, 7, 10, 0xFFFF}) {
        SCOPED_TRACE(port);
        const int32_t h = QtHandle(port, kTimeOutMs);
        EXPECT_EQ(OpenComPort(h), port == 9 ? 1 : 0);
        // An open port reaches its controller, which answers at rest; a port that
        // did not open gives no reply.
        EXPECT_EQ(GetStageStatus(h), port == 9 ? 0 : 6);
        ReleaseAstrel(h);
    }
}

// ASTREL_COM8=socket://HOST:PORT puts COM8 behind a network serial server:
// the script serves a QT3 controller so on the Linux side, answering 500 ms
// late, and names it in ASTREL_TCP_STAGE. Its reply ends the wait as it comes.
TEST_F(ComPort, Com8BehindANetworkSerialServer) {
    const char* server = std::getenv("ASTREL_TCP_STAGE");
    if (server == nullptr) GTEST_SKIP() << "ASTREL_TCP_STAGE names no server";
    ::SetEnvironmentVariableA("ASTREL_COM8", server);
    const int32_t h = QtHandle(7, 3000);
    EXPECT_EQ(OpenComPort(h), 1);
    const auto start = SteadyClock::now();
    EXPECT_EQ(ReadPosition(h, 3), (Positions{0, 0, 0}));
    EXPECT_LT(MsSince(start), 1500) << "the reply waited out the time-out";
    ::SetEnvironmentVariableA("ASTREL_COM8", nullptr);
}

class ComPortStage : public ::testing::TestWithParam<ComStage> {
  protected:
    void SetUp() override { ReleaseAllHandles(); }
    void TearDown() override { ReleaseAllHandles(); }
};

// Each maker's controller on its COM port, at the driver's line defaults:
// a move runs, then rests at its target. (The contracts on Linux cover the
// rest of each maker's language; this is the Windows port under it.)
TEST_P(ComPortStage, MovesAndRestsAtItsTarget) {
    const Maker& maker = GetParam().maker;
    const int32_t h = StageHandle(maker.makerType, maker.model, GetParam().port, kTimeOutMs);
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(MoveABS(h, 3000, -2000, 1000), 1);
    EXPECT_EQ(GetStageStatus(h), 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    EXPECT_EQ(ReadPosition(h, maker.axes), FirstAxes({3000, -2000, 1000}, maker.axes));
}

INSTANTIATE_TEST_SUITE_P(Makers, ComPortStage, ::testing::ValuesIn(ServedStages()),
                         [](const auto& stage) { return std::string(stage.param.maker.name); });

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

// A stop from another thread cuts short a query that waits on the silent
// controller (5 s time-out), and is written at once.
TEST_F(ComPort, AStopCutsAWaitingQueryShort) {
    const int32_t h = QtHandle(kSilentCom2, 5000);
    ASSERT_EQ(OpenComPort(h), 1);
    const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    const StopLatency t = MeasureStop(h, settle, [] {});
    std::printf("stop latency: written %.2f ms; query ended after %.0f ms\n", t.writtenMs,
                t.queryMs);
    EXPECT_LT(t.writtenMs, 50.0);
}

}  // namespace
}  // namespace astrel::test
