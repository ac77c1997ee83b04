// Stages on Windows COM ports through the DLL's exports, against simulated
// controllers that scripts/test-windows.sh serves on the Linux side and links
// to the ports: one of each maker, listed in ASTREL_COM_STAGES as
// "port:makerType:model" words (port 1 is COM1, and the QT3 controller is on
// COM10, which only the device namespace reaches); COM2 a QT3 controller that
// answers nothing; a QT3 controller behind a network serial server at
// ASTREL_TCP_STAGE.
#include <gtest/gtest.h>
#include <windows.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Astrel.h"
#include "Makers.h"
#include "StageHandles.h"
#include "StopLatency.h"

namespace astrel::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr uint16_t kSilentCom2 = 1;

int64_t MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

// Processor time (user and kernel) of the calling thread, in 100 ns units.
uint64_t ThreadCpuTime() {
    FILETIME created, exited, kernel, user;
    EXPECT_TRUE(::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user));
    return std::bit_cast<uint64_t>(kernel) + std::bit_cast<uint64_t>(user);  // little-endian
}

// A maker's model served on a COM port: the port index (0 is COM1) and the row of kMakers.
using ComStage = std::pair<uint16_t, Maker>;

// The stages ASTREL_COM_STAGES lists.
std::vector<ComStage> ServedStages() {
    std::vector<ComStage> stages;
    const char* list = std::getenv("ASTREL_COM_STAGES");
    std::istringstream words(list != nullptr ? list : "");
    for (std::string word; words >> word;) {
        for (const Maker& maker : kMakers) {
            if (word.ends_with(":" + std::to_string(maker.makerType) + ":" + maker.model)) {
                stages.push_back({static_cast<uint16_t>(std::stoi(word) - 1), maker});
            }
        }
    }
    return stages;
}

using ComPort = NoHandlesTaken;
class ComPortStage : public NoHandlesTaken, public ::testing::WithParamInterface<ComStage> {};

// Each maker's controller on its COM port, at the driver's line defaults:
// a move runs, then rests at its target. (The contracts on Linux cover the
// rest of each maker's language; this is the Windows port under it.)
TEST_P(ComPortStage, MovesAndRestsAtItsTarget) {
    const auto& [port, maker] = GetParam();
    const int32_t h = StageHandle(maker.makerType, maker.model, port, 300);
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(MoveABS(h, 3000, -2000, 1000), 1);
    EXPECT_EQ(WaitAtRest(h), 0);
    EXPECT_EQ(ReadPosition(h, maker.axes), FirstAxes({3000, -2000, 1000}, maker.axes));
}

INSTANTIATE_TEST_SUITE_P(Makers, ComPortStage, ::testing::ValuesIn(ServedStages()),
                         [](const auto& stage) { return std::string(stage.param.second.name); });

// ASTREL_COM8=socket://HOST:PORT puts COM8 behind a network serial server:
// the script serves a QT3 controller so on the Linux side, answering 500 ms
// late, and names it in ASTREL_TCP_STAGE. Its reply ends the wait as it comes.
// SetPortDevice names the same server for a handle without a port index.
TEST_F(ComPort, Com8BehindANetworkSerialServer) {
    const char* server = std::getenv("ASTREL_TCP_STAGE");
    ::SetEnvironmentVariableA("ASTREL_COM8", server);
    const int32_t h = QtHandle(7, 3000);
    EXPECT_EQ(OpenComPort(h), 1);
    const auto start = SteadyClock::now();
    EXPECT_EQ(ReadPosition(h, 3), (Positions{0, 0, 0}));
    EXPECT_LT(MsSince(start), 1500) << "the reply waited out the time-out";
    EXPECT_EQ(CloseComPort(h), 1);
    ::SetEnvironmentVariableA("ASTREL_COM8", nullptr);

    const int32_t chosen = QtHandle(0xFFFF, 3000);
    ASSERT_EQ(SetPortDevice(chosen, server), 1);
    EXPECT_EQ(OpenComPort(chosen), 1);
    EXPECT_EQ(ReadPosition(chosen, 3), (Positions{0, 0, 0}));
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
    const auto start = SteadyClock::now();
    const uint64_t cpuBefore = ThreadCpuTime();
    EXPECT_EQ(ReceiveStageData(h, buffer, sizeof buffer, &status), 0);
    EXPECT_LT(ThreadCpuTime() - cpuBefore, 1000000u);  // 100 ms
    EXPECT_EQ(status, 1);                              // timed out
    EXPECT_GE(MsSince(start), kTimeOutMs);
    EXPECT_LT(MsSince(start), kTimeOutMs + 500);
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
