// Motion, status and maker-specific exports through the C interface, with a
// scripted QT3 controller on a pseudo-terminal: the command lines each call
// sends, axis signs in both directions, no-stage results, and the gates of the
// maker-specific exports.
#include <climits>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Astrel.h"
#include "PtyPeer.h"
#include "gtest/gtest.h"

namespace {

using astrel::test::PtyPeer;
using Lines = std::vector<std::string>;

// A QT3 stage handle opened on a pseudo-terminal whose controller answers
// the lines in `replies` and records every line it receives.
class ScriptedStage {
  public:
    ScriptedStage() {
        for (int32_t slot = 0; slot < 10; ++slot) ReleaseAstrel(slot);
        h = static_cast<int32_t>(Astrel());
        SetUseStageName(h, "QT3");
        // Port 0, the QT line defaults, a short time-out for silent-controller cases.
        const CommunicationParam param{0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 200};
        SetCommunicationParam(h, &param);
        EXPECT_EQ(OpenComPort(h), 1);
        peer.Serve([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            const auto it = replies_.find(line);
            return it != replies_.end() ? it->second : std::string();
        });
    }
    ~ScriptedStage() { ReleaseAstrel(h); }
    ScriptedStage(const ScriptedStage&) = delete;
    ScriptedStage& operator=(const ScriptedStage&) = delete;

    void Reply(const std::string& line, const std::string& reply) {
        std::lock_guard lock(mutex_);
        replies_[line] = reply;
    }
    // The lines the controller has received once it has `count` of them.
    Lines Received(size_t count) {
        EXPECT_TRUE(peer.WaitForLines(count));
        return peer.Lines();
    }

    PtyPeer peer{0};
    int32_t h = -1;

  private:
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
};

// Each call, made on a fresh QT3 stage, with its result and the lines it sends.
TEST(MotionExports, CallsSendTheirCommandLines) {
    const struct {
        const char* name;
        std::function<int32_t(int32_t)> call;
        int32_t result;
        Lines sent;
    } cases[] = {
        {"absolute move",
         [](int32_t h) { return MoveABS(h, 1000, -250, 0); },
         1,
         {"AGO:A1000B-250C0"}},
        {"relative move skips zero distances",
         [](int32_t h) { return MoveREL(h, 5, 0, -7); },
         1,
         {"MGO:A5C-7"}},
        {"jog stops the held axis first",
         [](int32_t h) { return MoveJOG(h, 1, 0, -1); },
         1,
         {"L:B", "JGO:A+C-"}},
        {"origin", [](int32_t h) { return MoveOriginPosition(h); }, 1, {"H:ABC"}},
        {"stop and jog stop are one stop",
         [](int32_t h) { return StopMove(h) + StopJOG(h); },
         2,
         {"L:", "L:"}},
        {"immediate stop", [](int32_t h) { return StopNow(h); }, 1, {"E:"}},
        {"speeds",
         [](int32_t h) { return SetMoveSpeeds(h, 1, 100, 2000, 300); },
         1,
         {"D:B100,2000,300"}},
        {"origin here", [](int32_t h) { return SetOriginNowPos(h); }, 1, {"R:A0B0C0"}},
        {"signs scale moves",
         [](int32_t h) {
             SetAxisSign(h, 0, -1);
             return MoveABS(h, 100, 200, 300) + MoveREL(h, 5, -6, 7) + SetStagePosition(h, 1, 2, 3);
         },
         3,
         {"AGO:A-100B200C300", "MGO:A-5B-6C7", "R:A-1B2C3"}},
        {"signs leave the origin at zero",
         [](int32_t h) {
             SetAxisSign(h, 1, -1);
             return SetOriginNowPos(h);
         },
         1,
         {"R:A0B0C0"}},
        {"signs scale jog directions",
         [](int32_t h) {
             SetAxisSign(h, 2, -1);
             return MoveJOG(h, 0, 1, -1);
         },
         1,
         {"L:A", "JGO:B+C+"}},
        {"the most negative value wraps to itself",
         [](int32_t h) {
             SetAxisSign(h, 0, -1);
             return MoveABS(h, INT32_MIN, 0, 0);
         },
         1,
         {"AGO:A-2147483648B0C0"}},
        {"signs other than -1 count as +1",
         [](int32_t h) {
             SetAxisSign(h, 0, -1);
             const int32_t stored = SetAxisSign(h, 0, 0) + SetAxisSign(h, 1, 2) +
                                    SetAxisSign(h, 2, -2) + SetAxisSign(h, 3, -1);
             return stored + MoveABS(h, 1, 2, 3);
         },
         4,
         {"AGO:A1B2C3"}},
        {"axis assignment reaches the QT driver",
         [](int32_t h) {
             return SetAxisNum(h, 2, 1, 0) + SetAxisNum(h, 4, 1, 0) + MoveABS(h, 1, 2, 3);
         },
         2,
         {"AGO:A3B2C1"}},
        {"a stored maker type of another maker closes the gate",
         [](int32_t h) {
             SetUseMakerType(h, 3);
             return SetAxisNum(h, 2, 1, 0) + MoveABS(h, 1, 2, 3);
         },
         2,
         {"AGO:A1B2C3"}},
        {"trigger exports pass over a QT stage",
         [](int32_t h) {
             int32_t lower = 11, upper = 22;
             const int32_t r = SetTrigger(h, 1, 2) + OnceTrigger(h) + StopTrigger(h) +
                               GetTriggerRange(h, &lower, &upper);
             return r + (lower == 11 && upper == 22 ? 0 : 100) + MoveABS(h, 0, 0, 0);
         },
         5,
         {"AGO:A0B0C0"}},
        {"direction read-modify-write",
         [](int32_t h) { return StgSetStageDirection(h, 1, -1); },
         1,
         {"P:18R", "P:18A0B1C0"}},
        {"direction of no axis sends nothing",
         [](int32_t h) { return CP310SetStageDirection(h, 3, -1) + MoveABS(h, 0, 0, 0); },
         1,
         {"AGO:A0B0C0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedStage stage;  // fresh: default signs and axes, no lines seen
        stage.Reply("P:18R", "0,1,0\r\n");
        EXPECT_EQ(c.call(stage.h), c.result);
        EXPECT_EQ(stage.Received(c.sent.size()), c.sent);
    }
}

TEST(MotionExports, StatusAndPositionFollowTheControllerAndTheSigns) {
    ScriptedStage stage;
    const int32_t h = stage.h;
    stage.Reply("Q:A0B0C0", "-100,200D,300\r\n");
    SetAxisSign(h, 0, -1);
    EXPECT_EQ(GetStageStatus(h), 1);
    EXPECT_EQ(IsStageRunning(h), 1);
    int32_t running = -1, x = 0, y = 0, z = 0;
    EXPECT_EQ(IsStageRunningEx(h, &running), 1);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(GetStagePosition(h, &x, &y, &z), 1);
    EXPECT_EQ((std::vector<int32_t>{x, y, z}), (std::vector<int32_t>{100, 200, 300}));
    EXPECT_EQ(GetStagePosition(h, nullptr, &y, nullptr), 1);  // missing outputs are skipped

    stage.Reply("Q:A0B0C0", "0L,0,0\r\n");
    EXPECT_EQ(IsStopByLimit(h, 0xFFFF), 1);
    EXPECT_EQ(IsStopByLimit(h, 1), 0);

    // A silent controller: the driver fails and what the host left is untouched.
    stage.Reply("Q:A0B0C0", "");
    SetAxisSign(h, 1, -1);
    x = 7, y = 5, z = 9;
    EXPECT_EQ(GetStagePosition(h, &x, &y, &z), 0);
    EXPECT_EQ((std::vector<int32_t>{x, y, z}), (std::vector<int32_t>{7, 5, 9}));
}

}  // namespace
