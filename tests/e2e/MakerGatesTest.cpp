// Exports that reach one maker's operations only (axis assignment on QT
// stages, the trigger output of Sigma stages), and the axis signs the
// exports apply, through the C interface on a simulated controller.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "Astrel.h"
#include "SimStage.h"

namespace astrel::test {
namespace {

// The trigger exports' results in one number: SetTrigger, OnceTrigger and
// StopTrigger add theirs, GetTriggerRange ten times its own, and 1000 when
// the range it gives is not `lower`..`upper`.
int32_t Triggers(int32_t h, int32_t from, int32_t to, int32_t lower, int32_t upper) {
    int32_t low = 11, high = 22;
    const int32_t results = SetTrigger(h, from, to) + OnceTrigger(h) + StopTrigger(h) +
                            GetTriggerRange(h, &low, &high) * 10;
    return results + (low == lower && high == upper ? 0 : 1000);
}

// Sets the axis signs to `signs` (and -1 to an axis 3, which is refused),
// then moves, jogs, stops, sets and reads the position with X, Y and Z at 1,
// 2 and 3: the results in one number, and 1000 more when the position read
// is not 1, 2, 3.
int32_t WithSigns(int32_t h, const std::array<int16_t, 3>& signs) {
    int32_t results = SetAxisSign(h, 3, -1);
    for (int32_t axis = 0; axis < 3; ++axis) results += SetAxisSign(h, axis, signs[axis]);
    int32_t x = 0, y = 0, z = 0;
    results += MoveABS(h, 1, 2, 3) + MoveREL(h, 1, 2, 3) + MoveJOG(h, 1, 1, 1) + StopNow(h) +
               SetStagePosition(h, 1, 2, 3) + GetStagePosition(h, &x, &y, &z);
    return results + (x == 1 && y == 2 && z == 3 ? 0 : 1000);
}

TEST(MakerGates, CallsReachTheirMakerOrPassOver) {
    const struct {
        const char* name;
        std::function<int32_t(int32_t)> call;
        int32_t result;
        std::vector<std::string> heard;  // by the controller
        int16_t maker = 0;
        const char* model = "QT3";
    } cases[] = {
        // clang-format off
        {"axis assignment reaches a QT stage",
         [](int32_t h) { return SetAxisNum(h, 2, 1, 0) + SetAxisNum(h, 4, 1, 0) + StopNow(h); }, 2, {"E:"}},
        {"a stored maker type of another maker closes the gate",
         [](int32_t h) { SetUseMakerType(h, 3); return SetAxisNum(h, 4, 1, 0) + StopNow(h); }, 2, {"E:"}},
        {"a driver of another maker's class closes the gate",  // attached until the next open
         [](int32_t h) { SetUseMakerType(h, 0); return SetAxisNum(h, 0, 1, 0xFFFF) + StopNow(h); }, 2,
         {"L:E"}, 3, "SHOT-202"},
        {"trigger exports pass over a QT stage",
         [](int32_t h) { return Triggers(h, 1, 2, 11, 22) + StopNow(h); }, 14, {"E:"}},
        {"the trigger reaches a SHOT stage", [](int32_t h) { return Triggers(h, 0, 500, 2, 30000); },
         13, {"T:P1P500", "T:M", "T:S"}, 3, "SHOT-204MS"},
        // Each export that applies the axis signs applies each axis's own (each
        // pair of axes differs in one of the two rows' signs), and the position
        // comes back with them too; signs other than -1 count as +1.
        {"signs -1, +1, +1",
         [](int32_t h) { return WithSigns(h, {-1, 1, 1}); }, 9,
         {"AGO:A-1B2C3", "MGO:A-1B2C3", "JGO:A-B+C+", "E:", "R:A-1B2C3", "Q:A0B0C0"}},
        {"signs 0, 2, -1",
         [](int32_t h) { return WithSigns(h, {0, 2, -1}); }, 9,
         {"AGO:A1B2C-3", "MGO:A1B2C-3", "JGO:A+B+C-", "E:", "R:A1B2C-3", "Q:A0B0C0"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimStage stage(c.maker, c.model);
        EXPECT_EQ(c.call(stage.h), c.result);
        EXPECT_TRUE(stage.WaitHeard(c.heard.size()));
        EXPECT_EQ(stage.Heard(), c.heard);
    }
}

}  // namespace
}  // namespace astrel::test
