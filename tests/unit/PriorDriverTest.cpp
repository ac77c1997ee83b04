// The Prior driver on the in-memory device: the exact lines it writes for
// each call, and what it makes of the controller's replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "DriverBench.h"
#include "makers/CAstrelPrior.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelPrior>;
using Bench = DriverBench<CAstrelPrior>;

// The flag IsStageRunningEx leaves (-5: untouched) times 10, plus its result.
int32_t RunningEx(CAstrelPrior& d) {
    int32_t flag = -5;
    const int32_t result = d.IsStageRunningEx(&flag);
    return flag * 10 + result;
}

// The catalogue entries a host finds: the one model and the one unit of each list.
int32_t Catalogue(CAstrelPrior& d) {
    char model[64] = {}, speed[64] = {}, accel[64] = {};
    int32_t axes = 0;
    const bool listed = d.GetStageList(0, &axes, model) == 1 && axes == 3 &&
                        d.GetSpeedUnitList(0, speed) == 1 && d.GetAcclUnitList(0, accel) == 1;
    const bool ended = d.GetStageList(1, &axes, model) + d.GetSpeedUnitList(1, speed) +
                           d.GetAcclUnitList(-1, accel) ==
                       0;
    return listed && ended && std::strcmp(model, "ProScan") == 0 &&
           std::strcmp(speed, "1-100") == 0 && std::strcmp(accel, "1-100") == 0;
}

TEST(PriorDriver, CommandTable) {
    const Lines status = {"$:"}, statusTwice = {"$:", "$:"}, limits = {"LMT:"};
    const Lines jogX = {"I", "GX:-1879048193"};
    const Row rows[] = {
        {"ProScan", Catalogue, {}, 1},
        // Status: a bit per moving axis, in hexadecimal; one resend after a failed read.
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 0, {{"$:", "0"}}},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 1, {{"$:", "1A"}}},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 0, {{"$:", "1\r0\r"}}},
        {"ProScan",
         [](auto& d) { return d.GetStageStatus(); },
         statusTwice,
         1,
         {{"$:", ""}, {"$:", "4"}}},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, statusTwice, 6},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, {}, 6, {}, 0},
        // An empty or non-hexadecimal reply is no usable reply, never "at rest".
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 6, {{"$:", "\r"}}},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 6, {{"$:", "1Z"}}},
        {"ProScan", [](auto& d) { return d.GetStageStatus(); }, status, 6, {{"$:", "0,0,0"}}},
        // Running: two status queries, the second decides; a failed one cannot say.
        {"ProScan",
         [](auto& d) { return d.IsStageRunning(); },
         statusTwice,
         0,
         {{"$:", "1"}, {"$:", "0"}}},
        {"ProScan", RunningEx, statusTwice, 11, {{"$:", "0"}, {"$:", "2"}}},
        {"ProScan", RunningEx, statusTwice, 1, {{"$:", "3"}, {"$:", "0"}}},
        {"ProScan", RunningEx, statusTwice, -50, {{"$:", "0"}, {"$:", "x"}}},
        {"ProScan", RunningEx, {"$:", "$:", "$:", "$:"}, -50},
        // Limits: X 0x03, Y 0x0C, Z 0x30, any axis any bit; failures give 0, not 6.
        {"ProScan", [](auto& d) { return d.IsStopByLimit(1); }, limits, 1, {{"LMT:", "8"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(1); }, limits, 0, {{"LMT:", "3"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(0); }, limits, 1, {{"LMT:", "2"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(2); }, limits, 1, {{"LMT:", "1f"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(2); }, limits, 0, {{"LMT:", "4F"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(0xFFFF); }, limits, 0, {{"LMT:", "0"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(0xFFFF); }, limits, 1, {{"LMT:", "40"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(0xFFFF); }, limits, 0},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(0); }, limits, 0, {{"LMT:", "3,"}}},
        {"ProScan", [](auto& d) { return d.IsStopByLimit(3); }, {}, 0},
        // Moves and position settings carry all three values.
        {"ProScan", [](auto& d) { return d.MoveABS(100, -200, 300); }, {"G:100,-200,300"}, 1},
        {"ProScan", [](auto& d) { return d.MoveREL(INT32_MIN, 0, 5); }, {"GR:-2147483648,0,5"}, 1},
        {"ProScan", [](auto& d) { return d.SetStagePosition(0, 0, 0); }, {"P:0,0,0"}, 1},
        {"ProScan",
         [](auto& d) { return d.SetStagePosition(-1, 2, INT32_MAX); },
         {"P:-1,2,2147483647"},
         1},
        {"ProScan", [](auto& d) { return d.MoveOriginPosition(); }, {"M"}, 1},
        {"ProScan", [](auto& d) { return d.StopMove() + d.StopNow(); }, {"I:", "K:"}, 2},
        {"ProScan", [](auto& d) { return d.MoveABS(1, 2, 3); }, {}, 0, {}, 0},
        // Jogs run towards the jog value times 0x8FFFFFFF, wrapped to 32 bits.
        {"ProScan", [](auto& d) { return d.MoveJOG(1, 0, 0); }, jogX, 1},
        {"ProScan", [](auto& d) { return d.MoveJOG(1, 0, 5); }, jogX, 1},
        {"ProScan", [](auto& d) { return d.MoveJOG(0, -1, 1); }, {"I", "GY:1879048193"}, 1},
        {"ProScan", [](auto& d) { return d.MoveJOG(0, 0, 2); }, {"I", "V:536870910"}, 1},
        {"ProScan",
         [](auto& d) { return d.MoveJOG(2, -1, 0); },
         {"I", "G:536870910,1879048193"},
         1},
        {"ProScan",
         [](auto& d) { return d.MoveJOG(1, 1, 1); },
         {"G:-1879048193,-1879048193,-1879048193"},
         1},
        {"ProScan", [](auto& d) { return d.MoveJOG(0, 0, 0); }, {"I"}, 1},
        {"ProScan",
         [](auto& d) { return d.MoveJOG(INT16_MIN, INT16_MAX, 0); },
         {"I", "G:32768,1879015425"},
         1},
        {"ProScan", [](auto& d) { return d.MoveJOG(1, 0, 0); }, {"I"}, 0, {}, 1},
        {"ProScan", [](auto& d) { return d.MoveJOG(1, 0, 0); }, {}, 0, {}, 0},
        // Speeds: X and Y share "SMS"/"SAS", Z has "SMZ"/"SAZ"; no other axis.
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(1, 0, 50, 20); }, {"SMS:50", "SAS:20"}, 1},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(0, 7, 100, 1); }, {"SMS:100", "SAS:1"}, 1},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(2, 0, 50, 20); }, {"SMZ:50", "SAZ:20"}, 1},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(3, 0, 50, 20); }, {}, 0},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(-1, 0, 50, 20); }, {}, 0},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(2, 0, 50, 20); }, {"SMZ:50"}, 0, {}, 1},
        {"ProScan", [](auto& d) { return d.SetMoveSpeeds(0, 0, 50, 20); }, {}, 0, {}, 0},
        // Jog directions: 1 keeps, anything else reverses.
        {"ProScan", [](auto& d) { return d.SetStageDirection(2, 0); }, {"JZD:-1"}, 1},
        {"ProScan", [](auto& d) { return d.SetStageDirection(0, 1); }, {"JXD:1"}, 1},
        {"ProScan", [](auto& d) { return d.SetStageDirection(1, -1); }, {"JYD:-1"}, 1},
        {"ProScan", [](auto& d) { return d.SetStageDirection(3, 1); }, {}, 0},
        {"ProScan", [](auto& d) { return d.SetStageDirection(-1, 1); }, {}, 0},
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
        {"99999999999,-99999999999,7", 1, INT32_MAX, INT32_MIN, 7},
        {"5", 0, -9, -9, -9},
        {"1,2", 0, -9, -9, -9},
        {"1,x,3", 0, -9, -9, -9},
        {"\r", 0, -9, -9, -9},
        {"", 0, -9, -9, -9},
        {std::string(300, '1'), 0, -9, -9, -9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        Bench b("ProScan");
        b.script = {{"P:", row.reply}};
        int32_t x = -9, y = -9, z = -9;
        EXPECT_EQ(b.driver.GetStagePosition(&x, &y, &z), row.result);
        EXPECT_EQ((Lines{std::to_string(x), std::to_string(y), std::to_string(z)}),
                  (Lines{std::to_string(row.x), std::to_string(row.y), std::to_string(row.z)}));
        EXPECT_EQ(b.Written(), Lines{"P:"});
    }
    Bench b("ProScan");
    b.script = {{"P:", "4,5,6"}};
    int32_t y = 0;
    EXPECT_EQ(b.driver.GetStagePosition(nullptr, &y, nullptr), 1);
    EXPECT_EQ(y, 5);
}

}  // namespace
}  // namespace astrel::test
