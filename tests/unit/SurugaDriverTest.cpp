// The Suruga driver on the in-memory device: the exact lines it writes for
// each call, and what it makes of the controller's per-axis replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "DriverBench.h"
#include "makers/CAstrelSuruga.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelSuruga>;
const char* const kModel = "MSC-10";
const Lines kStatusQueries = {"MODE3", "?SX", "?SY", "?SZ"};

// Script for one status run: the replies of X, Y and Z.
Script Bytes(const std::string& x, const std::string& y, const std::string& z) {
    return {{"?SX", x}, {"?SY", y}, {"?SZ", z}};
}

TEST(SurugaDriver, CommandTable) {
    const Script positions = {{"?POSX", "1200"}, {"?POSY", " -500"}, {"?POSZ", "+7xyz"}};
    const Script yLimitBehindMovingX = Bytes("\x80", "1", "0");
    const Row rows[] = {
        // clang-format off
        // Every exchange starts with "MODE3"; a failed "MODE3" ends it there.
        {kModel, Abs(1, 2, 3), {}, 0, {}, 0},
        {kModel, Remote(0), {"MODE1"}, 1},
        // Relative moves: magnitudes, then the direction letters (0 goes down).
        {kModel, Rel(INT32_MIN, INT32_MAX, 1), {"MODE3", "INCX-2147483648", "INCY2147483647", "INCZ1", "XDYUZUG"}, 1},
        // Jog: a stop when any axis holds, then a far relative move of its own.
        {kModel, Jog(1, 0, -1), {"MODE3", "H", "MODE3", "INCX99999999", "INCY0", "INCZ99999999", "XUYDZDG"}, 1},
        {kModel, Jog(0, 0, 0), {"MODE3", "H"}, 1},
        {kModel, Jog(22, -32768, 2),
         {"MODE3", "MODE3", "INCX2147483647", "INCY2147483647", "INCZ199999998", "XUYDZUG"}, 1},
        {kModel, Jog(0, 1, 1), {"MODE3"}, 0, {}, 1},
        {kModel, Stops, {"MODE3", "H", "MODE3", "E"}, 2},
        {kModel, SetPosition(1, -2, INT32_MIN), {"MODE3", "POSX1", "POSY-2", "POSZ-2147483648"}, 1},
        // Speeds: table 0 for X and Y, table 1 for Z; other axes send nothing.
        {kModel, Speeds(1, 100, 2000, 300), {"MODE3", "SPEED01100", "SPEED022000", "SPEED03300", "SPSELY0"}, 1},
        {kModel, Speeds(2, 5, -6, 7), {"MODE3", "SPEED115", "SPEED12-6", "SPEED137", "SPSELZ1"}, 1},
        {kModel, Speeds(5, 1, 2, 3), {}, 0},
        {kModel, Speeds(0, 1, 2, 3), {"MODE3", "SPEED011", "SPEED022", "SPEED033"}, 0, {}, 4},
        // Status: one query per axis, each with a reply of its own, its status
        // byte: bits 0 to 3 flag a limit, bit 7 motion. The code goes by axis
        // order X, Y, Z and, within an axis, limit before motion.
        {kModel, Status, kStatusQueries, 4, Bytes("0", "8", "0")},  // bit 3 is a limit too
        {kModel, Status, kStatusQueries, 1, Bytes("\x80", "1", "0")},
        {kModel, Status, kStatusQueries, 4, Bytes("\x81", "0", "0")},
        {kModel, Status, kStatusQueries, 0, Bytes("@ text", "p", "0")},
        {kModel, Status, {"MODE3", "?SX", "?SY"}, 6, Bytes("1", "\r", "0")},
        {kModel, Status, {"MODE3", "?SX"}, 6, Bytes("NG", "0", "0")},
        // Positions: every axis needs a reply that starts with a number.
        {kModel, Position({1200, -500, 7}), {"MODE3", "?POSX", "?POSY", "?POSZ"}, 1, positions},
        {kModel, NoPosition, {"MODE3", "?POSX", "?POSY"}, 0, {{"?POSX", "1"}, {"?POSY", "\r"}}},
        // Running: two status runs, the second decides; any moving axis counts.
        {kModel, RunningEx, {"MODE3", "?SX", "?SY", "?SZ", "MODE3", "?SX", "?SY", "?SZ"}, 11,
         {{"?SX", "0"}, {"?SY", "0"}, {"?SZ", "0"}, {"?SX", "1"}, {"?SY", "\x80"}, {"?SZ", "0"}}},
        // Limits: an axis outside X, Y, Z is refused before anything is sent.
        {kModel, Limit(3), {}, 0},
        {kModel, Limit(0xFFFF), kStatusQueries, 1, yLimitBehindMovingX},
        {kModel, Limit(0), kStatusQueries, 0, yLimitBehindMovingX},
        // clang-format on
    };
    RunCommandRows(rows);
}

}  // namespace
}  // namespace astrel::test
