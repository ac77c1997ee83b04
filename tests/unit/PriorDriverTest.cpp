// The Prior driver on the in-memory device: the exact lines it writes for
// each call, and what it makes of the controller's replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "DriverBench.h"
#include "makers/CAstrelPrior.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelPrior>;
using Bench = DriverBench<CAstrelPrior>;

constexpr const char* kModel = "ProScan";

int32_t Status(CAstrelPrior& d) {
    return d.GetStageStatus();
}

// The flag IsStageRunningEx leaves (-5: untouched) times 10, plus its result.
int32_t RunningEx(CAstrelPrior& d) {
    int32_t flag = -5;
    const int32_t result = d.IsStageRunningEx(&flag);
    return flag * 10 + result;
}

template <uint16_t Axis>
int32_t Limit(CAstrelPrior& d) {
    return d.IsStopByLimit(Axis);
}

template <int16_t X, int16_t Y, int16_t Z>
int32_t Jog(CAstrelPrior& d) {
    return d.MoveJOG(X, Y, Z);
}

TEST(PriorDriver, CommandTable) {
    const Lines status = {"$:"}, statusTwice = {"$:", "$:"}, limits = {"LMT:"};
    const Row rows[] = {
        // Status: a bit per moving axis, in hexadecimal; one resend after a failed read.
        {kModel, Status, status, 0, {{"$:", "0"}}},
        {kModel, Status, status, 1, {{"$:", "1A"}}},
        {kModel, Status, status, 0, {{"$:", "1\r0\r"}}},  // the last line counts
        {kModel, Status, statusTwice, 1, {{"$:", ""}, {"$:", "4"}}},
        {kModel, Status, statusTwice, 6},
        {kModel, Status, {}, 6, {}, 0},
        // An empty or non-hexadecimal reply is no usable reply, never "at rest".
        {kModel, Status, status, 6, {{"$:", "\r"}}},
        {kModel, Status, status, 6, {{"$:", "1Z"}}},
        {kModel, Status, status, 6, {{"$:", "0,0,0"}}},
        // Running: two status queries, the second decides; a failed one cannot say.
        {kModel, RunningEx, statusTwice, 11, {{"$:", "0"}, {"$:", "2"}}},
        {kModel, RunningEx, statusTwice, 1, {{"$:", "3"}, {"$:", "0"}}},
        {kModel, RunningEx, statusTwice, -50, {{"$:", "0"}, {"$:", "x"}}},
        {kModel, RunningEx, {"$:", "$:", "$:", "$:"}, -50},
        // Limits: X 0x03, Y 0x0C, Z 0x30, any axis any bit, and no axis 3; failures give 0, not 6.
        {kModel, Limit<1>, limits, 1, {{"LMT:", "8"}}},
        {kModel, Limit<1>, limits, 0, {{"LMT:", "3"}}},
        {kModel, Limit<2>, limits, 1, {{"LMT:", "1f"}}},
        {kModel, Limit<0xFFFF>, limits, 0, {{"LMT:", "0"}}},
        {kModel, Limit<0xFFFF>, limits, 1, {{"LMT:", "40"}}},
        {kModel, Limit<0xFFFF>, limits, 0},
        {kModel, Limit<0>, limits, 0, {{"LMT:", "3,"}}},
        {kModel, Limit<3>, {}, 0},
        // Moves and position settings carry all three values.
        {kModel, [](auto& d) { return d.MoveABS(100, -200, 300); }, {"G:100,-200,300"}, 1},
        {kModel, [](auto& d) { return d.MoveREL(INT32_MIN, 0, 5); }, {"GR:-2147483648,0,5"}, 1},
        {kModel, [](auto& d) { return d.SetStagePosition(-1, 2, 3); }, {"P:-1,2,3"}, 1},
        {kModel, [](auto& d) { return d.MoveOriginPosition(); }, {"M"}, 1},
        {kModel, [](auto& d) { return d.StopMove() + d.StopNow(); }, {"I:", "K:"}, 2},
        {kModel, [](auto& d) { return d.MoveABS(1, 2, 3); }, {}, 0, {}, 0},
        // Jogs run towards the jog value times 0x8FFFFFFF, wrapped to 32 bits.
        {kModel, Jog<1, 0, 0>, {"I", "GX:-1879048193"}, 1},
        {kModel, Jog<0, -1, 1>, {"I", "GY:1879048193"}, 1},  // Z does not move
        {kModel, Jog<0, 0, 2>, {"I", "V:536870910"}, 1},
        {kModel, Jog<2, -1, 0>, {"I", "G:536870910,1879048193"}, 1},
        {kModel, Jog<1, 1, 1>, {"G:-1879048193,-1879048193,-1879048193"}, 1},
        {kModel, Jog<0, 0, 0>, {"I"}, 1},
        {kModel, Jog<INT16_MIN, INT16_MAX, 0>, {"I", "G:32768,1879015425"}, 1},
        {kModel, Jog<1, 0, 0>, {"I"}, 0, {}, 1},
        {kModel, Jog<1, 0, 0>, {}, 0, {}, 0},
        // Speeds: X and Y share "SMS"/"SAS", Z has "SMZ"/"SAZ"; no other axis.
        {kModel,
         [](auto& d) { return d.SetMoveSpeeds(0, 7, 100, 1) + d.SetMoveSpeeds(1, 0, 50, 20); },
         {"SMS:100", "SAS:1", "SMS:50", "SAS:20"},
         2},
        {kModel, [](auto& d) { return d.SetMoveSpeeds(2, 0, 50, 20); }, {"SMZ:50", "SAZ:20"}, 1},
        {kModel, [](auto& d) { return d.SetMoveSpeeds(-1, 0, 50, 20); }, {}, 0},
        {kModel, [](auto& d) { return d.SetMoveSpeeds(2, 0, 50, 20); }, {"SMZ:50"}, 0, {}, 1},
        {kModel, [](auto& d) { return d.SetMoveSpeeds(0, 0, 50, 20); }, {}, 0, {}, 0},
        // Jog directions: 1 keeps, anything else reverses; no other axis.
        {kModel,
         [](auto& d) {
             return d.SetStageDirection(0, 1) + d.SetStageDirection(1, -1) +
                    d.SetStageDirection(2, 0);
         },
         {"JXD:1", "JYD:-1", "JZD:-1"},
         3},
        {kModel, [](auto& d) { return d.SetStageDirection(3, 1); }, {}, 0},
    };
    RunCommandRows(rows);
}

// Position replies: three numeric pieces or nothing is written.
TEST(PriorDriver, PositionReplyTable) {
    const struct {
        std::string reply;  // empty: silence
        int32_t result, x, y, z;
    } rows[] = {
        {"100,-200,300", 1, 100, -200, 300},
        {"1,2,3,4", 1, 1, 2, 3},
        {" -2147483648,+2147483647,0", 1, INT32_MIN, INT32_MAX, 0},
        {"5", 0, -9, -9, -9},
        {"1,x,3", 0, -9, -9, -9},
        {"\r", 0, -9, -9, -9},  // an empty line
        {"", 0, -9, -9, -9},    // silence
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        Bench b(kModel);
        b.script = {{"P:", row.reply}};
        int32_t x = -9, y = -9, z = -9;
        EXPECT_EQ(b.driver.GetStagePosition(&x, &y, &z), row.result);
        EXPECT_EQ((std::vector<int32_t>{x, y, z}), (std::vector<int32_t>{row.x, row.y, row.z}));
        EXPECT_EQ(b.Written(), Lines{"P:"});
    }
    Bench b(kModel);  // outputs may be left out
    b.script = {{"P:", "4,5,6"}};
    int32_t y = 0;
    EXPECT_EQ(b.driver.GetStagePosition(nullptr, &y, nullptr) * y, 5);
}

}  // namespace
}  // namespace astrel::test
