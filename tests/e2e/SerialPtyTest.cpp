// The serial transport over real pseudo-terminals (and TCP connections to a
// network serial server), through the C interface only, with a simulated QT3
// controller at the other end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Astrel.h"
#include "CutShort.h"
#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using Lines = std::vector<std::string>;

// A server that drops the connection is an unplugged adapter: the exchange
// ends at once as a hang-up, and the port does not open again while the
// server is gone (closing first does not wait for the lost output either).
TEST(SerialPty, ADroppedConnectionIsAHangUp) {
    auto server = std::make_unique<SimController>(0, "QT3", 3, true);
    const int32_t h = QtHandle(3, 5000);
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(GetStageStatus(h), 0);
    server.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetStageStatus(h), 6);
    EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_HANG_UP);
    EXPECT_EQ(OpenComPort(h), 0);
    EXPECT_LT(MsSince(start), 1500);
    ReleaseAstrel(h);
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
