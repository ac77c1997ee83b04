// The Sigma driver on the in-memory device: the lines it writes for each
// call, what it makes of each family's status line, and how long it waits
// for a controller that keeps talking or keeps busy (on the device's clock).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

#include "DriverBench.h"
#include "makers/CAstrelSigma.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelSigma>;
using Bench = DriverBench<CAstrelSigma>;
using Call = std::function<int32_t(CAstrelSigma&)>;
constexpr uint32_t kTimeOut = 5000;  // the bench's default
const char *kFc = "FC-101G_2", *kFc1 = "FC-101G_1", *kMark = "Mark-102", *kShot = "SHOT-202",
           *k204 = "SHOT-204MS";

// SHOT status lines of exactly 27 and 49 characters: X +10, Y -20, then `states`.
const std::string kXY = "+       10,-       20";
std::string Shot202(const std::string& states) {
    return kXY + "," + states;
}
std::string Shot204(const std::string& states) {
    return kXY + ",+        0,+        0," + states;
}
const std::string kFcReady = "1,2,0,K,K,0,R", kFcBusy = "1,2,0,M,K,0,B";
const std::string kShotReady = Shot202("K,K,R"), kShotBusy = Shot202("K,K,B");

const auto kSpeeds = [](int16_t axis, int32_t accel) { return Speeds(axis, 100, 5000, accel); };

// Each of `lines` answered "OK".
Script Oks(std::initializer_list<const char*> lines) {
    Script script;
    for (const char* line : lines) script.push_back({line, "OK"});
    return script;
}

TEST(SigmaDriver, CommandTable) {
    const Call stops = [](auto& d) { return Home(d) + Stops(d); };
    const Row rows[] = {
        // clang-format off
        // Moves: sign and magnitude, then the family's start command, each acknowledged.
        {kFc1, Abs(-7, 99), {"A:1-P7", "G"}, 1, Oks({"A:1-P7", "G"})},
        {kShot, Abs(INT32_MIN, 0), {"A:w-P2147483648+P0", "G:"}, 1, Oks({"A:w-P2147483648+P0", "G:"})},
        {kShot, Abs(1, 2), {"A:w+P1+P2"}, 0, Oks({"A:w+P1+P2"}), 1},
        {kShot, Rel(1, 2), {"M:w+P1+P2"}, 0, {{"M:w+P1+P2", "NG"}}},  // a refused target is not started
        {kFc, stops, {"H:", "L:", "L:E"}, 3, Oks({"H:", "L:", "L:E"})},
        {kMark, stops, {"H:W+", "L:w", "L:E"}, 1, {{"H:W+", "OK"}, {"L:w", "NG"}}},
        // Jog: a long relative move once the controller is ready; idle axes are stopped first.
        {kShot, Jog(0, 1), {"Q:", "L:1", "L:w", "Q:", "Q:", "M:w+P0+P99999999", "G:"}, 1,
         {{"Q:", kShotBusy}, {"L:1", "OK"}, {"L:w", "OK"}, {"Q:", kShotBusy}, {"Q:", kShotReady},
          {"M:w+P0+P99999999", "OK"}, {"G:", "OK"}}},
        {kFc, Jog(-2, 1), {"Q:", "M:w-P199999998+P99999999", "G"}, 1,
         {{"Q:", kFcReady}, {"M:w-P199999998+P99999999", "OK"}, {"G", "OK"}}},
        {kFc, Jog(1, 0), {"Q:", "L:2"}, 0, {{"Q:", kFcReady}, {"L:2", "NG"}}},
        {kFc, Jog(1, 0), {"Q:", "L:2", "L:w", "Q:"}, 0,
         {{"Q:", kFcBusy}, {"L:2", "OK"}, {"L:w", "OK"}, {"Q:", "x,2,0,K,K,0,R"}}},
        // Origin: only the present position, acknowledged; "NG" or an empty line is a failure.
        {kShot, SetPosition(0, 0), {"R:W"}, 0, {{"R:W", "\r\n"}}},
        {kShot, SetPosition(0, 5), {}, 0},
        // Speeds: the FC-101G's ramp is in tenths of a ms; axes the model lacks are refused.
        {kFc, kSpeeds(1, 20), {"D:2F5000", "ACC:2 200"}, 1, Oks({"D:2F5000", "ACC:2 200"})},
        {kFc, kSpeeds(0, 20), {"D:1F5000", "ACC:1 200"}, 0, {{"D:1F5000", "OK"}, {"ACC:1 200", "NG"}}},
        {kFc, kSpeeds(0, 0), {"D:1F5000"}, 1, Oks({"D:1F5000"})},
        {kShot, [](auto& d) { return d.SetMoveSpeeds(2, 1, 2, 3) + d.IsStopByLimit(2); }, {}, 0},
        // Remote mode: acknowledged; the FC-101G asks its mode first and takes the last line.
        {kShot, Remote(1), {"P:H"}, 1, {{"P:H", "OK"}}},
        {k204, Remote(0), {"P:R"}, 0, {{"P:R", "NG"}}},
        {kFc, Remote(7), {"MODE?", "MODE:REMOTE"}, 1, {{"MODE?", "local"}, {"MODE:REMOTE", "OK"}}},
        {kFc, Remote(1), {"MODE?"}, 1, {{"MODE?", "LOCAL\r\nREMOTE\r\n"}}},
        // Busy query: the last line, "B" or "R"; nothing else is an answer.
        {kShot, RunningEx, {"!:"}, 1, {{"!:", "B\r\nR\r\n"}}},
        {kShot, RunningEx, {"!:"}, -50, {{"!:", "\r\n"}}},
        // Trigger output of the SHOT controllers, acknowledged.
        {kShot, [](auto& d) { return d.SetTrigger(0, 5) + d.OnceTrigger() + d.StopTrigger(); },
         {"T:P1P5", "T:M", "T:S"}, 0, {{"T:P1P5", "NG"}, {"T:M", "NG"}}},
        {kFc, [](auto& d) { return d.SetTrigger(1, 2) + d.OnceTrigger(); }, {}, 0},
        // The Mark-102 has no busy query: its status line's drive mark tells
        // motion, also beside a limit mark; an unusable line cannot tell.
        {kMark, RunningEx, {"Q:"}, 11, {{"Q:", "+1,+2,K,M,B,K,B"}}},
        {kMark, RunningEx, {"Q:"}, -50, {{"Q:", "+1,+2,K,?,R,K,K"}}},
        // What the Mark-102 does not have: nothing sent, 0.
        {kMark, [](auto& d) { return d.RemoteStage(1); }, {}, 0},
        {kMark, SetPosition(0, 0), {}, 0},
        {kMark, [](auto& d) {  // the trigger range, its bounds (1, 2) untouched
             int32_t lower = 1, upper = 2;
             return d.GetTriggerRange(&lower, &upper) + lower * 10 + upper * 100;
         }, {}, 210},
        // The status query sends "Q:" once more after a silence.
        {kShot, Status, {"Q:", "Q:"}, 1, {{"Q:", ""}, {"Q:", kShotBusy}}},
        // clang-format on
    };
    RunCommandRows(rows);
}

// Each family's status line: the code, the limit of X and Y, and the
// position read (untouched -9 when the code is 6 or 7).
TEST(SigmaDriver, StatusLineTable) {
    const struct {
        const char* model;
        std::string line;
        int32_t code, xLimit, yLimit, x, y;
    } rows[] = {
        {kShot, "OK\r\n" + std::string(20, '1') + "\r\n" + kShotReady + "\r\n", 0, 0, 0, 10, -20},
        {kShot, Shot202("K,L,B"), 1, 1, 0, 10, -20},
        {kShot, Shot202("X,M,R"), 7, 0, 1, -9, -9},
        {k204, Shot204("K,K,") + "\r\n" + Shot204("K,E,R") + "\r\n", 4, 1, 1, 10, -20},
        {k204, Shot204("K,2,R"), 4, 0, 1, 10, -20},
        {kFc, " -5,,+6,0,K,W,0,R", 4, 0, 1, -5, 6},
        {kFc1, "5,0,0,K,M,0,R", 0, 0, 0, 5, 0},     // the second state is not looked at
        {kFc, "100,x,0,K,K,0,R", 6, 0, 0, -9, -9},  // a position that is no number
        {kMark, "-2147483647,*7,0,M,R,0,R", 4, 0, 1, -INT32_MAX, 7},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        Bench b(row.model);
        for (int i = 0; i < 4; ++i) b.script.push_back({"Q:", row.line});
        EXPECT_EQ(Status(b.driver), row.code);
        EXPECT_EQ(b.driver.IsStopByLimit(0), row.xLimit);
        EXPECT_EQ(b.driver.IsStopByLimit(1), row.yLimit);
        const bool read = row.x != -9;
        EXPECT_EQ(Position({row.x, row.y, read ? 0 : -9})(b.driver), read ? 1 : 0);
    }
}

// A controller that answers the status query with lines other than the
// answer, or keeps busy, holds the caller for a bounded time only: the call
// must give `result` within [minMs, maxMs] on the device's clock, without
// sending a move.
TEST(SigmaDriver, WaitsAreBounded) {
    const struct {
        std::string reply;  // to each "Q:", `count` times, one every `everyMs`
        int count;
        uint32_t everyMs;
        Call call;
        int32_t result;
        uint32_t minMs, maxMs;
    } rows[] = {
        {"OK", 1000, 1, Status, 6, 100, 101},
        {"short", 1000, 100, Status, 6, kTimeOut, kTimeOut + 100},
        {kShotBusy, 1, 0, Jog(1, 0), 0, 3 * kTimeOut, 3 * kTimeOut + 10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        Bench b(kShot);
        FakeLine& line = *b.rig.line;
        line.responder = [&](const std::string& written) {
            if (written != "Q:") return line.Queue("OK\r\n");  // every other command acknowledged
            for (int i = 0; i < row.count; ++i) line.Queue(row.reply + "\r\n", row.everyMs * i);
        };
        const uint32_t start = b.rig.clock.now_;
        EXPECT_EQ(row.call(b.driver), row.result);
        const uint32_t elapsed = b.rig.clock.now_ - start;
        EXPECT_GE(elapsed, row.minMs);
        EXPECT_LE(elapsed, row.maxMs);
        for (const std::string& written : b.Written()) EXPECT_NE(written.substr(0, 2), "M:");
    }
}

}  // namespace
}  // namespace astrel::test
