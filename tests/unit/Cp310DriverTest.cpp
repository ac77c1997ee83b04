// The CP-310 driver on the in-memory device: the exact lines it writes for
// each call, and what it makes of the controller's replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "DriverBench.h"
#include "makers/CAstrelCP310.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelCP310>;

const auto kSpeeds = [](int16_t axis) { return Speeds(axis, 100, 2000, 50); };

const Lines kQ = {"Q:"}, kBusy = {"!:"}, q2 = {"Q2:"};

TEST(Cp310Driver, CommandTable) {
    const Row rows[] = {
        // Moves: sign and magnitude per axis of the model, then "G:".
        {"CP-310", Rel(INT32_MIN, INT32_MAX, -1), {"M:W-P2147483648+P2147483647-P1", "G:"}, 1},
        {"CP-310", Abs(1, 2, 3), {"A:W+P1+P2+P3"}, 0, {}, 1},  // not started when "G:" fails
        // Jog: axes that hold are stopped first; one axis alone, or X and Y
        // (with Z or not); the controller has no line for X or Y with Z alone.
        {"CP-310", Jog(1, -1, 1), {"J:W+-+", "G:"}, 1},
        {"CP-310", Jog(1, 0, -1), {"L:2"}, 0},
        {"CP-310", Jog(0, 0, 0), {"L:1", "L:2", "L:3"}, 0},
        {"CP-500", Jog(-1, 1, 1), {"J:W-+", "G:"}, 1},  // no Z on this model
        // Any other value counts by its sign, in its own axis's place.
        {"CP-310", Jog(2, -300, 0), {"L:3", "J:W+-", "G:"}, 1},
        // Homing, stops, speeds.
        {"CP-310", Home, {"H:1"}, 0, {}, 1},
        {"CP-310", Stops, {"L:E", "L:E"}, 2},
        {"CP-310", kSpeeds(2), {"D:3S100F2000R50"}, 1},
        {"CP-500", kSpeeds(2), {}, 0},
        // Direction: the model's setting number, then its value word.
        {"CP-310", Direction(1, -1), {"F:M34D", "NEGZ"}, 1},
        {"CP-310", Direction(0, 1), {"F:M13D", "POSZ"}, 1},
        {"CP-310", Direction(2, 0), {"F:M55D", "POSZ"}, 1},
        {"CP-500", Direction(0, -1), {"F:M58D", "1Z"}, 1},
        {"CP-500", Direction(1, -2), {"F:M60D", "0Z"}, 1},
        {"CP-310", Direction(3, -1), {}, 0},
        // Positions and limits from "Q:"; one resend after a silent read.
        {"CP-310", Position({7, 8, 9}), {"Q:", "Q:"}, 1, {{"Q:", ""}, {"Q:", "+7,+8,+9,K,0"}}},
        {"CP-310",
         Position({INT32_MIN, INT32_MAX, INT32_MAX}),
         kQ,
         1,
         {{"Q:", "-2147483648,+2147483647,+99999999999,K,0"}}},
        {"CP-310", NoPosition, kQ, 0, {{"Q:", "+1,+2,+3,K,8"}}},
        {"CP-500", NoPosition, kQ, 0, {{"Q:", "+1,+2,+3,K,0"}}},
        {"CP-310", [](auto& d) { return d.GetStagePosition(nullptr, nullptr, nullptr); }, {}, 0},
        {"CP-500", Limit(0xFFFF), kQ, 0, {{"Q:", "+0,+0,K,4"}}},
        // Running through "!:" ("R" and "I" rest: the contracts); any other answer is busy;
        // an empty answer is not known.
        {"CP-310", RunningEx, {"!:", "!:"}, 11, {{"!:", ""}, {"!:", "B"}}},
        {"CP-310", RunningEx, kBusy, -50, {{"!:", "\r\n"}}},
        // Status through "Q2:": positions, "K", a limit piece per axis, the state.
        {"CP-310", Status, {"Q2:", "Q2:"}, 6},
        {"CP-500", Status, q2, 1, {{"Q2:", "+1,+2,K,+,0,B"}}},  // the state comes before the limits
        {"CP-500", Status, q2, 7, {{"Q2:", "+1,+2,X,0,0,B"}}},
        {"CP-500", Status, q2, 6, {{"Q2:", "+1,+2,K,0,0"}}},
        {"CP-500", Status, q2, 6, {{"Q2:", "100,+2,K,0,0,B"}}},  // a sign character, then digits
        {"CP-500", Status, q2, 7, {{"Q2:", "+1,+2,k"}}},
    };
    RunCommandRows(rows);
}

}  // namespace
}  // namespace astrel::test
