// The QT driver on the in-memory device: the exact lines it writes for each
// call, and what it makes of the controller's replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "DriverBench.h"
#include "makers/CAstrelQT.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelQT>;
using Bench = DriverBench<CAstrelQT>;
constexpr uint16_t kNone = 0xFFFF;
const std::string kQ3 = "Q:A0B0C0";

// Selects `name` (10 when it is accepted), then asks the status, whose query
// shows the axes the model now has.
auto Select(const char* name) {
    return [=](CAstrelQT& d) {
        d.SetStageName(name);
        return d.SelectStage() * 10 + d.GetStageStatus();
    };
}

// Assigns X, Y and Z to axis numbers (10 when it is accepted), then moves to
// 1, 2, 3: the line shows which axis carries which value.
auto Assign(uint16_t x, uint16_t y, uint16_t z) {
    return [=](CAstrelQT& d) { return d.SetAxisNum(x, y, z) * 10 + d.MoveABS(1, 2, 3); };
}

TEST(QtDriver, CommandTable) {
    const Lines q3 = {kQ3}, q3twice = {kQ3, kQ3}, q2 = {"Q:A0B0"}, dirRead = {"P:18R"};
    const Script rest3 = {{kQ3, "0,0,0"}}, rest2 = {{"Q:A0B0", "0,0"}};
    const Row rows[] = {
        // Selection: "QT2" has no Z, whether chosen or kept, and Z does not come back.
        {nullptr, Status, q3, 0, rest3},  // the default "QT2" still has Z on C
        {nullptr, Select("qt3"), q3, 10, rest3},
        {nullptr, Select("QT2"), q2, 10, rest2},
        {"QT3", Select("QT4"), q3, 0, rest3},  // an unknown name keeps the model
        {"QT2", Select("QT3"), q2, 10, rest2},
        // The status query: one resend after a silent read; the last line counts.
        {"QT3", Status, q3twice, 1, {{kQ3, ""}, {kQ3, "4,5D,6"}}},
        {"QT3", Status, q3, 0, {{kQ3, "1D,1,1\r\n2,2,2\r\n"}}},
        {"QT1", Status, {"Q:A0"}, 0, {{"Q:A0", "7"}}},
        {"MSC2", Status, {"Q:0"}, 1, {{"Q:0", "1,2D"}}},
        // Running: two queries, the second decides; any moving axis counts,
        // and a line answering garbage is not "at rest".
        {"QT3", RunningEx, q3twice, 11, {{kQ3, "1,1,1"}, {kQ3, "1L,2D,3"}}},
        {"QT3", RunningEx, q3twice, -50, {{kQ3, "1D,2,3"}, {kQ3, "x,y,z"}}},
        // "QT2": one query, no resend; codes 2, 3 and 5 leave the flag unset.
        {"QT2", RunningEx, q2, 11, {{"Q:A0B0", "1E,2D"}}},
        {"QT2", RunningEx, q2, -50, {{"Q:A0B0", "1E,2"}}},
        {"QT2", RunningEx, q2, -50, {{"Q:A0B0", ""}, {"Q:A0B0", "1D,2"}}},
        // Limits: axes the query does not answer are refused.
        {"QT1", Limit(1), {}, 0},
        // Motion: pieces in letter order, for the axes each model carries.
        {"MSC2", Abs(1, 2, 3), {"AGO:A1B2"}, 1},
        {"QT3", SetPosition(0, INT32_MIN, 0), {"R:A0B-2147483648C0"}, 1},
        {"QT3", Rel(5, 0, -3), {"MGO:A5C-3"}, 1},
        {"QT3", Jog(1, 0, -1), {"L:B", "JGO:A+C-"}, 1},
        {"QT1", Jog(-3, 7, 0), {"L:C", "JGO:A-B+"}, 1},
        {"QT1", Home, {"H:A"}, 1},
        {"QT3", [](auto& d) { return d.SetUseAxisMask(2) && d.MoveOriginPosition(); }, {"H:B"}, 1},
        {"QT3", [](auto& d) { return d.SetUseAxisMask(0) || d.SetUseAxisMask(8); }, {}, 0},
        {"QT3", Stops, {"L:", "E:"}, 2},
        // Speeds and parameters; single-axis requests for axes not there send nothing.
        {"QT3", Speeds(1, 100, 2000, 300), {"D:B100,2000,300"}, 1},
        {"QT2", Speeds(2, 1, 2, 3), {}, 0},
        {"QT3", SpeedParams(2, 10, -20, 30), {"P:08C10", "P:09C-20", "P:10C30"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(52, "1"); }, {"P:52,1", "F:", "RESTA:"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(54, "1"); }, {"P:54,1"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(1, std::string(300, '1').c_str()); }, {}, 0},
        {"QT3", [](auto& d) { return d.ReadParameter(7, nullptr); }, {"P:07R"}, 6},  // no resend
        {"QT3", [](auto& d) { return d.SetSpeedSelect(1, 12, 16); }, {"S:A01B12"}, 1},
        {"QT3", [](auto& d) { return d.MoveABSXY(1, -2); }, {"BGO:A1B-2"}, 1},
        // Direction: read parameter 18, change one axis, write back the
        // model's axes; an unusable or missing reply writes nothing.
        {"QT3", Direction(0, -2), {"P:18R", "P:18A0B1C1"}, 1, {{"P:18R", "1,1,1"}}},
        {"MSC2", Direction(0, -1), {"P:18R", "P:18A1B0"}, 1, {{"P:18R", "0,0"}}},
        {"QT3", Direction(1, 1), dirRead, 0, {{"P:18R", "x,1,0"}}},
        {"QT1", Direction(1, -1), {}, 0},
        // Axis assignment: an axis unassigned (0xFFFF keeps it), a number taken
        // twice refused; a model needs every axis it carries assigned.
        {"QT3", Assign(2, kNone, 0), {"AGO:A3C1"}, 11},
        {"QT3", Assign(1, 1, kNone), {"AGO:A1B2C3"}, 1},
        {"QT3", Assign(kNone, kNone, kNone), {"AGO:A1B2C3"}, 1},
        {"QT1", Assign(kNone, kNone, kNone), {"AGO:A1"}, 11},
        {"MSC2", Assign(kNone, 0, kNone), {"AGO:A2B1"}, 11},
        {"MSC2", Assign(kNone, 1, 0), {"AGO:B2C1"}, 11},  // X and Y only, where they now are
        // A command that is not taken ends the operation; what was sent stays sent.
        {"QT3", Jog(0, 0, 1), {"L:A"}, 0, {}, 1},
    };
    RunCommandRows(rows);
}

// Rows run in order on one "QT3" driver (X, Y, Z on A, B, C): each reply
// must clear what the one before it set, and an unusable one must change
// nothing (the positions of the row before it stay).
TEST(QtDriver, StatusReplyTable) {
    Bench b("QT3");
    const struct {
        std::string reply;
        int32_t code, x, y, z;
    } rows[] = {
        {"5E,6,7", 2, 5, 6, 7},
        {"5H,6,7", 3, 5, 6, 7},
        {"1C,2D,3L", 5, 1, 2, 3},  // axis A decides, whatever the letters
        {",,7D,,8,,9", 1, 7, 8, 9},
        {"99999999999D,-99999999999,2147483648", 1, INT32_MAX, INT32_MIN, INT32_MAX},
        {"1,2", 6, INT32_MAX, INT32_MIN, INT32_MAX},  // a field missing: no usable reply
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        b.script = {{kQ3, row.reply}, {kQ3, row.reply}, {kQ3, row.reply}, {kQ3, row.reply}};
        EXPECT_EQ(b.driver.GetStageStatus(), row.code);
        const Values kept = {row.x, row.y, row.z};
        const bool usable = row.code != 6;
        EXPECT_EQ(Position(usable ? kept : Values{-9, -9, -9})(b.driver), usable ? 1 : 0);
        EXPECT_EQ(
            (Values{b.driver.AxisPosition(0), b.driver.AxisPosition(1), b.driver.AxisPosition(2)}),
            kept);
    }
}

// After an assignment every command and reply follows the new axis order.
TEST(QtDriver, AssignmentReordersCommandsAndReplies) {
    Bench b("QT3");
    ASSERT_EQ(b.driver.SetAxisNum(2, 1, 0), 1);  // X on C, Y on B, Z on A
    b.script = {{kQ3, "10,20,30E"}, {kQ3, "1,2,3L"}, {"S:R", "7,8,9"}, {"P:18R", "0,1,0"}};
    int32_t x = 0, y = 0, z = 0;
    EXPECT_EQ(b.driver.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ((Lines{std::to_string(x), std::to_string(z)}), (Lines{"30", "10"}));
    EXPECT_EQ(b.driver.IsStopByLimit(0), 1);
    uint16_t speed = 0;
    EXPECT_EQ(b.driver.ReadSpeedSelect(&speed, nullptr, nullptr), 1);
    EXPECT_EQ(speed, 9);
    EXPECT_EQ(b.driver.MoveABS(1, 2, 3) + b.driver.MoveJOG(1, 0, -1), 2);
    EXPECT_EQ(b.driver.SetStageDirection(0, -1), 1);  // X's value is C's
    EXPECT_EQ(b.Written(),
              (Lines{kQ3, kQ3, "S:R", "AGO:A3B2C1", "L:B", "JGO:A-C+", "P:18R", "P:18A0B1C1"}));
    EXPECT_EQ(b.rig.clock.slept_, 400u);
}

}  // namespace
}  // namespace astrel::test
