// The serial transport over real pseudo-terminals (and TCP connections to a
// network serial server), through the C interface only, with a simulated QT3
// controller at the other end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Astrel.h"
#include "SimStage.h"
#include "StageHandles.h"
#include "WaitCost.h"

namespace astrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The device is looked up at every open, so a port can be re-pointed.
TEST(SerialPty, EachOpenFindsTheDeviceAnew) {
    SimController first(0, "QT3", 5);
    const int32_t h = QtHandle(5);
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(StopMove(h), 1);
    SimController second(0, "QT3", 5);  // ASTREL_COM6 now names the second terminal
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(StopNow(h), 1);
    EXPECT_TRUE(second.WaitHeard(1));
    EXPECT_TRUE(first.WaitHeard(1));
    EXPECT_EQ(first.Heard(), Lines{"L:"});
    EXPECT_EQ(second.Heard(), Lines{"E:"});
    ReleaseAstrel(h);
}

// A server that drops the connection is an unplugged adapter: the exchange
// ends at once as a hang-up, and the port does not open again while the
// server is gone (closing first does not wait for the lost output either).
TEST(SerialPty, ADroppedConnectionIsAHangUp) {
    auto server = std::make_unique<SimController>(0, "QT3", 3, true);
    const int32_t h = QtHandle(3, 5000);
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(GetStageStatus(h), 0);
    server.reset();
    const auto start = Clock::now();
    EXPECT_EQ(GetStageStatus(h), 6);
    EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_HANG_UP);
    EXPECT_EQ(OpenComPort(h), 0);
    EXPECT_LT(MsSince(start), 1500);
    ReleaseAstrel(h);
}

// Waiting for a slow controller blocks instead of polling: a 2 s time-out
// costs next to no processor time.
TEST(SerialPty, WaitingCostsLittleProcessorTime) {
    SimStage stage(0, "QT3", 2000, 2);  // nothing is asked, so nothing comes
    char buffer[64] = {};
    int32_t status = -1;
    const WaitCost cost = MeasureWaitCost(
        [&] { EXPECT_EQ(ReceiveStageData(stage.h, buffer, sizeof buffer, &status), 0); });
    EXPECT_EQ(status, 1);  // timed out
    std::printf("ReceiveStageData waiting 2000 ms for no reply: wall %.0f ms, processor %.3f ms\n",
                cost.wallMs, cost.processorMs);
    EXPECT_GE(cost.wallMs, 2000.0);
    EXPECT_LT(cost.processorMs, 100.0);
}

// A stop written just before the port is closed still reaches the controller.
// (Each round waits for it: a pseudo-terminal drops what its other end has not
// read yet when the next open purges the line.)
TEST(SerialPty, CommandWrittenBeforeCloseIsDelivered) {
    SimController controller(0, "QT3");
    for (size_t round = 1; round <= 20; ++round) {
        const int32_t h = QtHandle(0);
        ASSERT_EQ(OpenComPort(h), 1);
        ASSERT_EQ(StopMove(h), 1);
        ASSERT_EQ(CloseComPort(h), 1);
        ReleaseAstrel(h);
        ASSERT_TRUE(controller.WaitHeard(round)) << "round " << round;
    }
    EXPECT_EQ(controller.Heard(), Lines(20, "L:"));
}

}  // namespace
}  // namespace astrel::test
