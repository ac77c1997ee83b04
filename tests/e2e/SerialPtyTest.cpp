// The serial transport over a real pseudo-terminal, through the C interface
// only, with a simulated QT3 controller at the other end. (A dropped network
// connection: the last error's table.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Astrel.h"
#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

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
    EXPECT_EQ(controller.Heard(), std::vector<std::string>(20, "L:"));
}

}  // namespace
}  // namespace astrel::test
