// The Hirox driver on the in-memory device: the exact lines it writes for
// each call, and what it makes of the controller's status lines.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "DriverBench.h"
#include "makers/CAstrelHirox.h"

namespace astrel::test {
namespace {

using Row = CommandRow<CAstrelHirox>;
const std::string q1 = "@STS 1 ?", q2 = "@STS 2 ?", q3 = "@STS 3 ?";

// A status line of axis `n` with status word `sts` (hexadecimal with its H) at `pos`.
std::string Sts(int n, const std::string& sts, int32_t pos = 0) {
    return "@STS " + std::to_string(n) + " STS=" + sts +
           " INP=0H OUT=0H POS=" + std::to_string(pos) + " ENC=" + std::to_string(pos) + " SPD=0";
}

// `count` lines that are not status lines, after a blank one (which is no line at all).
std::string OtherLines(int count) {
    std::string lines = "\r\n";
    for (int i = 0; i < count; ++i) lines += i % 2 == 0 ? " \t\r\n" : "READY\r\n";
    return lines;
}

// The replies of axes 1 to 3 to their status queries, with status words `sts`.
Script Axes(std::vector<std::string> sts) {
    const std::string queries[] = {q1, q2, q3};
    Script script;
    for (size_t i = 0; i < sts.size(); ++i) {
        script.emplace_back(queries[i], Sts(static_cast<int>(i) + 1, sts[i]));
    }
    return script;
}

// Every speed value below its least: each call gives 0 and sends nothing.
int32_t OutOfRangeSpeeds(CAstrelHirox& d) {
    return d.SetMoveSpeeds(0, 0, 1, 0) + d.SetMoveSpeeds(0, 1, 0, 0) +
           d.SetMoveSpeeds(0, 1, 1, -1) + d.SetAxisSpeedParam(0, 0, 1, 0) +
           d.SetAxisSpeedParam(0, 1, 0, 0) + d.SetAxisSpeedParam(0, 1, 1, -1);
}

TEST(HiroxDriver, CommandTable) {
    const Lines all = {q1, q2, q3};
    const auto init = [](CAstrelHirox& d) { return d.InitializeStage(); };
    const Row rows[] = {
        // clang-format off
        // One command per axis in use, X first; names match in any case.
        {"ct-7_1", Abs(5, 6, 7), {"@PTP 1 8000H 5"}, 1},
        {"TH3", Jog(-1, 0, 1), {"@JGR 1", "@DCL 2 -1", "@JGF 3"}, 1},
        {"CT-7_2", SetPosition(0, 250, 0), {"@ORG 1 -1", "@POS 2 250"}, 1},
        {"CT-7_2", Stops, {"@DCL 1 -1", "@DCL 2 -1", "@EMR 1", "@EMR 2"}, 2},
        // The first command not written ends the operation.
        {"TH3", Rel(1, 2, 3), {"@PTP 1 0 1"}, 0, {}, 1},
        // Speeds and parameters: one list on CT-7, one command each on "TH3".
        {"CT-7_2", Speeds(1, 100, 2000, 50), {"@SYS 2 4 2000, 100, 100, 50, 50"}, 1},
        {"TH3", Speeds(2, 1, 2, 0), {"@SYS 3 4 2", "@SYS 3 5 1", "@SYS 3 7 0", "@SYS 3 8 0"}, 1},
        {"CT-7_2", OutOfRangeSpeeds, {}, 0},
        {"CT-7_2", SpeedParams(1, 10, 20, 0), {"@SYS 2 13 20, 10"}, 1},
        {"TH3", SpeedParams(2, 10, 20, 5), {"@SYS 3 13 20", "@SYS 3 14 10"}, 1},
        // Remote mode: "@MOD 0" always; then per axis, the next axis's "@POS" first.
        {"TH3", Remote(0), {"@MOD 0"}, 1},
        {"CT-7_2", Remote(-1), {"@MOD 0", "@POS 2 OFF ?", "@POS 1 OFF ?", "@INI 1 0", "@INI 1 1", "@INI 1 2",
                                "@POS 3 OFF ?", "@POS 2 OFF ?", "@INI 2 0", "@INI 2 1", "@INI 2 2"}, 1},
        {"TH3", init, {"@SYS 3 4 30000", "@SYS 3 6 30000"}, 1},
        {"CT-7_2", init, {}, 1},
        // Status: the first axis not at rest decides, X first.
        {"TH3", Status, {q1, q2}, 1, Axes({"4H", "40000004H"})},
        {"TH3", Status, {q1}, 7, Axes({"10004H", "40000004H"})},
        {"CT-7_2", Status, {q1, q2}, 6, Axes({"4H"})},
        // STS bits: 30 busy before 2 not ready before 16 error.
        {"CT-7_1", Status, {q1}, 1, Axes({"40010004H"})},
        {"CT-7_1", Status, {q1}, 3, Axes({"10000H"})},
        {"CT-7_1", Status, {q1}, 0, Axes({"BFFEFFFFh"})},
        // The status line is the first line that begins with "@": blank and
        // other lines before it are passed over, up to 100 lines.
        {"CT-7_1", Status, {q1}, 1, {{q1, OtherLines(99) + " \t" + Sts(1, "40000000H") + "\r"}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, OtherLines(100) + Sts(1, "4H") + "\r"}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, "@ERR\r\n" + Sts(1, "4H") + "\r"}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, Sts(1, "4H") + std::string(100, ' ') + "X"}}},
        // The status line's grammar: keys in any order, any blanks, hexadecimal
        // with "H" or "h", a sign before a decimal; the axis asked, each key once,
        // values within 32 bits.
        {"CT-7_1", Position({5, 0, 0}), {q1}, 1, {{q1, "@STS 1 POS=5 SPD=0 ENC=5 OUT=0H INP=0H STS=4H"}}},
        {"CT-7_1", Position({15, 0, 0}), {q1}, 1, {{q1, "\t@STS\v1\fSTS=aBh INP=0H OUT=0H\tPOS=+15  ENC=-0 SPD=0"}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, Sts(2, "4H")}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, Sts(1, "4H") + " STS=4H"}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, Sts(1, "100000000H")}}},
        {"CT-7_1", Status, {q1}, 6, {{q1, "@STS 1 STS=4H INP=0H OUT=0H POS=2147483648 ENC=5 SPD=0"}}},
        // Running: any moving axis, whatever an axis before it reports; an
        // axis that cannot be asked leaves it unknown.
        {"TH3", RunningEx, all, 11, Axes({"0H", "4H", "40000004H"})},
        {"CT-7_2", RunningEx, {q1, q2}, -50, {{q1, Sts(1, "4H")}, {q2, "@STS 2"}}},
        // Positions: written only when every axis answered; axes not in use read 0.
        {"CT-7_1", Position({-1200, 0, 0}), {q1}, 1, {{q1, Sts(1, "4H", -1200)}}},
        {"TH3", Position({7, -8, INT32_MAX}), all, 1,
         {{q1, Sts(1, "4H", 7)}, {q2, Sts(2, "4H", -8)}, {q3, Sts(3, "4H", INT32_MAX)}}},
        {"TH3", NoPosition, {q1, q2}, 0, {{q1, Sts(1, "4H", 7)}, {q2, "?#!"}}},
        // A property needs its output.
        {nullptr, [](auto& d) { return d.GetFunctionProperty(1, nullptr); }, {}, 0},
        // clang-format on
    };
    RunCommandRows(rows);
}

// Other lines trickling in end the search for the status line one time-out
// after the query, however many come.
TEST(HiroxDriver, TricklingLinesEndTheSearchOneTimeOutAfterTheQuery) {
    DriverBench<CAstrelHirox> b("CT-7_1");
    b.driver.settings.timeOut = 1000;
    for (uint32_t at = 400; at <= 2000; at += 400) b.rig.line->Queue("other\r\n", at);
    const uint32_t start = b.rig.clock.now_;
    EXPECT_EQ(b.driver.GetStageStatus(), 6);
    EXPECT_LE(b.rig.clock.now_ - start, 1200u);
    EXPECT_EQ(b.Written(), Lines{q1});
}

}  // namespace
}  // namespace astrel::test
