// Motion, status and maker-specific exports through the C interface, with a
// scripted QT controller on a pseudo-terminal: axis signs in both directions,
// no-stage results, and the gates of the maker-specific exports.
#include <climits>
#include <map>
#include <string>
#include <vector>

#include "Astrel.h"
#include "PtyPeer.h"
#include "gtest/gtest.h"

namespace {

using astrel::test::PtyPeer;
using Lines = std::vector<std::string>;

class MotionExports : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int32_t h = 0; h < 10; ++h) ReleaseAstrel(h);
        handle_ = static_cast<int32_t>(Astrel());
        SetUseStageName(handle_, "QT3");
        // Port 0, the QT line defaults, a short time-out for silent-controller cases.
        const CommunicationParam param{0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 200};
        SetCommunicationParam(handle_, &param);
        ASSERT_EQ(OpenComPort(handle_), 1);
        peer_.Serve([this](const std::string& line) {
            const auto it = replies_.find(line);
            return it != replies_.end() ? it->second : std::string();
        });
    }
    void TearDown() override { ReleaseAstrel(handle_); }

    // The lines the controller received for `count` commands.
    Lines Received(size_t count) {
        EXPECT_TRUE(peer_.WaitForLines(count));
        return peer_.Lines();
    }

    PtyPeer peer_{0};
    std::map<std::string, std::string> replies_;
    int32_t handle_ = -1;
};

TEST_F(MotionExports, SignsScaleMovesJogsAndPositionSetting) {
    ASSERT_EQ(SetAxisSign(handle_, 0, -1), 1);
    EXPECT_EQ(MoveABS(handle_, 100, 200, 300), 1);
    EXPECT_EQ(MoveREL(handle_, 5, -6, 7), 1);
    EXPECT_EQ(SetStagePosition(handle_, 1, 2, 3), 1);
    EXPECT_EQ(SetOriginNowPos(handle_), 1);
    ASSERT_EQ(SetAxisSign(handle_, 0, 1), 1);
    ASSERT_EQ(SetAxisSign(handle_, 2, -1), 1);
    EXPECT_EQ(MoveJOG(handle_, 0, 1, -1), 1);
    EXPECT_EQ(MoveABS(handle_, INT32_MIN, 0, INT32_MIN), 1);  // wraps to itself
    EXPECT_EQ(Received(7), (Lines{"AGO:A-100B200C300", "MGO:A-5B-6C7", "R:A-1B2C3", "R:A0B0C0",
                                  "L:A", "JGO:B+C+", "AGO:A-2147483648B0C-2147483648"}));
}

TEST_F(MotionExports, PositionIsScaledOnTheWayBack) {
    replies_["Q:A0B0C0"] = "-100,200,300\r\n";
    SetAxisSign(handle_, 0, -1);
    int32_t x = 0, y = 0, z = 0;
    EXPECT_EQ(GetStagePosition(handle_, &x, &y, &z), 1);
    EXPECT_EQ((std::vector<int32_t>{x, y, z}), (std::vector<int32_t>{100, 200, 300}));
    y = 0;
    EXPECT_EQ(GetStagePosition(handle_, nullptr, &y, nullptr), 1);  // missing outputs skipped
    EXPECT_EQ(y, 200);
}

TEST_F(MotionExports, FailedPositionReadStillNegatesWhatTheHostLeft) {
    SetAxisSign(handle_, 1, -1);  // no reply is scripted: the query times out
    int32_t x = 7, y = 5, z = 9;
    EXPECT_EQ(GetStagePosition(handle_, &x, &y, &z), 0);
    EXPECT_EQ((std::vector<int32_t>{x, y, z}), (std::vector<int32_t>{7, -5, 9}));
}

TEST_F(MotionExports, SignValuesOtherThanMinusOneCountAsPlusOne) {
    for (const int16_t sign : {0, 2, -2, SHRT_MIN}) {
        SetAxisSign(handle_, 0, -1);
        EXPECT_EQ(SetAxisSign(handle_, 0, sign), 1);
        EXPECT_EQ(MoveABS(handle_, 10, 0, 0), 1);
    }
    EXPECT_EQ(SetAxisSign(handle_, 3, -1), 0);
    EXPECT_EQ(SetAxisSign(handle_, -1, -1), 0);
    EXPECT_EQ(MoveABS(handle_, 10, 0, 0), 1);
    EXPECT_EQ(Received(5), Lines(5, "AGO:A10B0C0"));
}

TEST_F(MotionExports, StopJogAndStopMoveSendTheSameStop) {
    EXPECT_EQ(StopJOG(handle_), 1);
    EXPECT_EQ(StopMove(handle_), 1);
    EXPECT_EQ(StopNow(handle_), 1);
    EXPECT_EQ(MoveOriginPosition(handle_), 1);
    EXPECT_EQ(SetMoveSpeeds(handle_, 1, 100, 2000, 300), 1);
    EXPECT_EQ(Received(5), (Lines{"L:", "L:", "E:", "H:ABC", "D:B100,2000,300"}));
}

TEST_F(MotionExports, StatusAndRunningFollowTheController) {
    replies_["Q:A0B0C0"] = "1200,-500D,0\r\n";
    EXPECT_EQ(GetStageStatus(handle_), 1);
    EXPECT_EQ(IsStageRunning(handle_), 1);
    int32_t running = -1;
    EXPECT_EQ(IsStageRunningEx(handle_, &running), 1);
    EXPECT_EQ(running, 1);
    replies_["Q:A0B0C0"] = "0L,0,0\r\n";
    EXPECT_EQ(IsStopByLimit(handle_, 0xFFFF), 1);
    EXPECT_EQ(IsStopByLimit(handle_, 0), 1);
    EXPECT_EQ(IsStopByLimit(handle_, 1), 0);
}

TEST_F(MotionExports, GatedExportsPassOnlyTheirOwnMaker) {
    // A QT stage: the trigger exports answer 1 and send nothing.
    int32_t lower = 11, upper = 22;
    EXPECT_EQ(SetTrigger(handle_, 1, 2), 1);
    EXPECT_EQ(OnceTrigger(handle_), 1);
    EXPECT_EQ(StopTrigger(handle_), 1);
    EXPECT_EQ(GetTriggerRange(handle_, &lower, &upper), 1);
    EXPECT_EQ(lower + upper, 33);

    // Axis assignment reaches the QT driver: X on C, Y on B, Z on A.
    EXPECT_EQ(SetAxisNum(handle_, 2, 1, 0), 1);
    EXPECT_EQ(SetAxisNum(handle_, 4, 1, 0), 0);  // refused by the driver
    // With the stored maker type changed, the gate closes before the driver.
    SetUseMakerType(handle_, 3);
    EXPECT_EQ(SetAxisNum(handle_, 0, 1, 2), 1);
    EXPECT_EQ(MoveABS(handle_, 1, 2, 3), 1);
    EXPECT_EQ(Received(1), (Lines{"AGO:A3B2C1"}));
}

TEST_F(MotionExports, DirectionExportsReachTheDriver) {
    replies_["P:18R"] = "0,1,0\r\n";
    EXPECT_EQ(StgSetStageDirection(handle_, 1, -1), 1);
    EXPECT_EQ(CP310SetStageDirection(handle_, 3, -1), 0);  // no such axis: nothing sent
    EXPECT_EQ(Received(2), (Lines{"P:18R", "P:18A0B1C0"}));
}

// Every stage export for handles that name no stage: out of range, an empty
// slot, and a handle that was never opened.
TEST_F(MotionExports, NoStageResults) {
    const auto unopened = static_cast<int32_t>(Astrel());
    for (const int32_t h : {10, -1, 9, unopened}) {
        SCOPED_TRACE(h);
        int32_t a = 1, b = 2, c = 3;
        EXPECT_EQ(GetStageStatus(h), 7);
        EXPECT_EQ(RemoteStage(h, 1), 0);
        EXPECT_EQ(IsStageRunning(h), 0);
        EXPECT_EQ(IsStageRunningEx(h, &a), 0);
        EXPECT_EQ(IsStopByLimit(h, 0xFFFF), 0);
        EXPECT_EQ(GetStagePosition(h, &a, &b, &c), 0);
        EXPECT_EQ(GetTriggerRange(h, &b, &c), 0);
        EXPECT_EQ((std::vector<int32_t>{a, b, c}), (std::vector<int32_t>{1, 2, 3}));
        EXPECT_EQ(SetStagePosition(h, 1, 2, 3), 0);
        EXPECT_EQ(SetOriginNowPos(h), 0);
        EXPECT_EQ(MoveABS(h, 1, 2, 3), 0);
        EXPECT_EQ(MoveREL(h, 1, 2, 3), 0);
        EXPECT_EQ(MoveJOG(h, 1, 1, 1), 0);
        EXPECT_EQ(StopMove(h), 0);
        EXPECT_EQ(StopJOG(h), 0);
        EXPECT_EQ(StopNow(h), 0);
        EXPECT_EQ(MoveOriginPosition(h), 0);
        EXPECT_EQ(SetMoveSpeeds(h, 0, 1, 2, 3), 0);
        EXPECT_EQ(CP310SetStageDirection(h, 0, -1), 0);
        EXPECT_EQ(StgSetStageDirection(h, 0, -1), 0);
        EXPECT_EQ(SetAxisNum(h, 0, 1, 2), 0);
        EXPECT_EQ(SetTrigger(h, 1, 2), 0);
        EXPECT_EQ(OnceTrigger(h), 0);
        EXPECT_EQ(StopTrigger(h), 0);
    }
    EXPECT_EQ(SetAxisSign(unopened, 1, -1), 1);  // signs need no driver
    EXPECT_EQ(SetAxisSign(10, 1, -1), 0);
    EXPECT_EQ(IsStageRunningEx(handle_, nullptr), 0);
    EXPECT_TRUE(peer_.Lines().empty());
}

}  // namespace
