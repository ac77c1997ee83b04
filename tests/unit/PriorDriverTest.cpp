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

constexpr const char* kModel = "ProScan";

TEST(PriorDriver, CommandTable) {
    const Lines status = {"$:"}, statusTwice = {"$:", "$:"}, limits = {"LMT:"}, at = {"P:"};
    const auto yOnly = [](CAstrelPrior& d) {
        int32_t y = 0;  // outputs may be left out
        return d.GetStagePosition(nullptr, &y, nullptr) * y;
    };
    const Row rows[] = {
        // Status: a bit per moving axis, in hexadecimal; one resend after a failed read.
        {kModel, Status, statusTwice, 1, {{"$:", ""}, {"$:", "4"}}},
        // An empty or non-hexadecimal reply is no usable reply, never "at rest".
        {kModel, Status, status, 6, {{"$:", "\r"}}},
        {kModel, Status, status, 6, {{"$:", "1Z"}}},
        // Running: two status queries, the second decides; a failed one cannot say.
        {kModel, RunningEx, statusTwice, 11, {{"$:", "0"}, {"$:", "2"}}},
        {kModel, RunningEx, statusTwice, 1, {{"$:", "3"}, {"$:", "0"}}},
        {kModel, RunningEx, statusTwice, -50, {{"$:", "0"}, {"$:", "x"}}},
        // Limits: X 0x03, Y 0x0C, Z 0x30, any axis any bit, and no axis 3; failures give 0, not 6.
        {kModel, Limit(0xFFFF), limits, 1, {{"LMT:", "40"}}},
        {kModel, Limit(2), limits, 0, {{"LMT:", "0F"}}},
        {kModel, Limit(3), {}, 0},
        // Positions: three numeric pieces (more are ignored), or nothing is written.
        {kModel, Position({1, 2, 3}), at, 1, {{"P:", "1,2,3,4"}}},
        {kModel, NoPosition, at, 0, {{"P:", "5"}}},
        {kModel, yOnly, at, 5, {{"P:", "4,5,6"}}},
        // Moves and position settings carry all three values.
        {kModel, Rel(INT32_MIN, 0, 5), {"GR:-2147483648,0,5"}, 1},
        {kModel, SetPosition(-1, 2, 3), {"P:-1,2,3"}, 1},
        {kModel, Stops, {"I:", "K:"}, 2},
        // Jogs run towards the jog value times 0x8FFFFFFF, wrapped to 32 bits.
        {kModel, Jog(0, -1, 1), {"I", "GY:1879048193"}, 1},  // Z does not move
        {kModel, Jog(0, 0, 2), {"I", "V:536870910"}, 1},
        {kModel, Jog(1, 1, 1), {"G:-1879048193,-1879048193,-1879048193"}, 1},
        {kModel, Jog(0, 0, 0), {"I"}, 1},
        {kModel, Jog(INT16_MIN, INT16_MAX, 0), {"I", "G:32768,1879015425"}, 1},
        {kModel, Jog(1, 0, 0), {"I"}, 0, {}, 1},
        // Speeds: X and Y share "SMS"/"SAS", Z has "SMZ"/"SAZ"; no other axis.
        {kModel, Speeds(0, 7, 100, 1), {"SMS:100", "SAS:1"}, 1},
        {kModel, Speeds(1, 0, 50, 20), {"SMS:50", "SAS:20"}, 1},
        {kModel, Speeds(2, 0, 50, 20), {"SMZ:50", "SAZ:20"}, 1},
        {kModel, Speeds(-1, 0, 50, 20), {}, 0},
        // Jog directions: 1 keeps, anything else reverses; no other axis.
        {kModel, Direction(0, 1), {"JXD:1"}, 1},
        {kModel, Direction(1, -1), {"JYD:-1"}, 1},
        {kModel, Direction(2, 0), {"JZD:-1"}, 1},
        {kModel, Direction(3, 1), {}, 0},
    };
    RunCommandRows(rows);
}

}  // namespace
}  // namespace astrel::test
