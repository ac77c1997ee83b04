// Controllers behind a network serial server (ASTREL_COMn=socket://HOST:PORT),
// through the C interface, against a simulated QT3 served on the loopback
// address: what differs from a local port is how the connection opens and
// how it ends; the exchanges themselves are the contracts' (OverTcp/*).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "Astrel.h"
#include "SimStage.h"
#include "StageHandles.h"
#include "StopLatency.h"

namespace astrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using SerialTcp = NoHandlesTaken;

std::string LastErrorText() {
    char text[256] = {};
    AstrelLastErrorText(text, sizeof text);
    return text;
}

// A port that names no server that takes the connection does not open, and says why.
TEST_F(SerialTcp, AnOpenThatFindsNoServerFailsWithItsReason) {
    const struct {
        const char* path;
        const char* reason;
    } rows[] = {
        {"socket://127.0.0.1:1", "connection refused"},
        {"socket://127.0.0.1", "not socket://HOST:PORT"},
        {"socket://127.0.0.1:70000", "not socket://HOST:PORT"},
        {"socket://:4001", "not socket://HOST:PORT"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        PointPort(3, row.path);
        const int32_t h = QtHandle(3, 300);
        EXPECT_EQ(OpenComPort(h), 0);
        EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_OPEN_FAILED);
        EXPECT_NE(LastErrorText().find(row.reason), std::string::npos) << LastErrorText();
        ReleaseAstrel(h);
    }
}

// A server that drops the connection is an unplugged adapter: the exchange
// ends at once as a hang-up, and the port does not open again while the
// server is gone.
TEST_F(SerialTcp, ADroppedConnectionIsAHangUp) {
    auto server = std::make_unique<SimController>(0, "QT3", 3, true);
    const int32_t h = QtHandle(3, 5000);
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(GetStageStatus(h), 0);
    server.reset();
    const auto start = Clock::now();
    EXPECT_EQ(GetStageStatus(h), 6);
    EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_HANG_UP) << LastErrorText();
    EXPECT_EQ(OpenComPort(h), 0);  // closing first does not wait for the lost output either
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

// A stop from another thread cuts a query waiting on the connection short
// and reaches the controller at once.
TEST_F(SerialTcp, AStopCutsAWaitingQueryShort) {
    SimStage stage(0, "QT3", 5000, 3, true);
    stage.SetFault(sim::Fault::kSilent);
    const StopLatency t = MeasureStop(
        stage.h,
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            stage.SetFault(sim::Fault::kNone);
        },
        [&] { stage.WaitHeard(2, 1000); });
    std::printf("stop over TCP: %.2f ms to the controller\n", t.heardMs);
    EXPECT_LT(t.heardMs, 50.0);
    EXPECT_EQ(stage.Heard().back(), "L:");
}

}  // namespace
}  // namespace astrel::test
