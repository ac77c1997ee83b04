// Exports that reach one maker's operations only (axis assignment on QT
// stages, the trigger output of Sigma stages) and the exports every maker
// shares under two names, through the C interface on a simulated controller.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Astrel.h"
#include "SimStage.h"

namespace astrel::test {
namespace {

using Lines = std::vector<std::string>;

TEST(MakerGates, CallsReachTheirMakerOrPassOver) {
    const struct {
        const char* name;
        std::function<int32_t(int32_t)> call;
        int32_t result;
        Lines heard;  // by the controller
        int16_t maker = 0;
        const char* model = "QT3";
    } cases[] = {
        {"axis assignment reaches a QT stage",
         [](int32_t h) { return SetAxisNum(h, 2, 1, 0) + SetAxisNum(h, 4, 1, 0) + StopNow(h); },
         2,
         {"E:"}},
        {"a stored maker type of another maker closes the gate",
         [](int32_t h) {
             SetUseMakerType(h, 3);
             return SetAxisNum(h, 4, 1, 0) + StopNow(h);
         },
         2,
         {"E:"}},
        {"a driver of another maker's class closes the gate",
         [](int32_t h) {
             SetUseMakerType(h, 0);  // the SHOT driver stays attached until the next open
             return SetAxisNum(h, 0, 1, 0xFFFF) + StopNow(h);
         },
         2,
         {"L:E"},
         3,
         "SHOT-202"},
        {"trigger exports pass over a QT stage",
         [](int32_t h) {
             int32_t lower = 11, upper = 22;
             const int32_t r = SetTrigger(h, 1, 2) + OnceTrigger(h) + StopTrigger(h) +
                               GetTriggerRange(h, &lower, &upper);
             return r + (lower == 11 && upper == 22 ? 0 : 100) + StopNow(h);
         },
         5,
         {"E:"}},
        {"both direction exports reach the driver",
         [](int32_t h) {
             return StgSetStageDirection(h, 3, -1) + CP310SetStageDirection(h, 1, -1);
         },
         1,
         {"P:18R", "P:18A0B1C0"}},
        {"signs other than -1 count as +1",
         [](int32_t h) {
             const int32_t stored = SetAxisSign(h, 0, -1) + SetAxisSign(h, 0, 0) +
                                    SetAxisSign(h, 1, 2) + SetAxisSign(h, 3, -1);
             return stored + MoveREL(h, 1, 2, 0);
         },
         4,
         {"MGO:A1B2"}},
        {"the trigger reaches a SHOT stage; a null bound is refused",
         [](int32_t h) {
             int32_t lower = 11, upper = 22;
             const int32_t r = SetTrigger(h, 0, 500) + OnceTrigger(h) + StopTrigger(h) +
                               GetTriggerRange(h, &lower, &upper) * 10 +
                               GetTriggerRange(h, nullptr, &upper) * 100;
             return r + (lower == 2 && upper == 30000 ? 0 : 1000);
         },
         13,
         {"T:P1P500", "T:M", "T:S"},
         3,
         "SHOT-204MS"},
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
