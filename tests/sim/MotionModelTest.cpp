// The motion model on a hand-driven clock: how long a move takes, where it
// ends, limits, jogs, stops, time scale and redefined positions. Default
// speeds: start 1000/s, maximum 20000/s, 100 ms ramps, so a ramp covers 1050
// units and a 10000-unit move takes 100 + 395 + 100 ms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MotionModel.h"

namespace astrel::sim {
namespace {

using Act = void (*)(MotionModel&);
constexpr int64_t kMax = MotionModel::kDefaultMaxLimit;
constexpr int64_t kMin = MotionModel::kDefaultMinLimit;

// At `atMs` on the clock, do `act` (if any) to axis 0, then expect it there.
struct Step {
    uint64_t atMs;
    Act act;
    int32_t position;
    bool moving;
    Limit limit = Limit::kNone;
};

TEST(MotionModel, MovesByItsSpeedsAndStopsAtLimits) {
    const Act stop = [](MotionModel& m) { m.Stop(0); };
    const Act far = [](MotionModel& m) { m.MoveTo(0, 100000); };
    const Act jogPlus = [](MotionModel& m) { m.Jog(0, 1); };
    const Act to10000 = [](MotionModel& m) { m.MoveTo(0, 10000); };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        // clang-format off
        {"MoveTakesTheTimeItsSpeedsSay",  // 1 unit/ms rising by 0.19 per ms
         {{0, to10000, 0, true}, {50, nullptr, 287, true}, {100, nullptr, 1050, true},
          {594, nullptr, 9998, true}, {595, nullptr, 10000, false}}},
        {"MovePastALimitStopsOnItUntilMovedAway",
         {{0, [](MotionModel& m) { m.MoveTo(0, 5 * kMax); }, 0, true}, {50095, nullptr, kMax, false, Limit::kPlus},
          {50095, [](MotionModel& m) { m.MoveBy(0, -10); }, kMax, true}, {60000, nullptr, kMax - 10, false}}},
        {"JogRunsToTheLimit",
         {{0, [](MotionModel& m) { m.Jog(0, -1); }, 0, true}, {60000, nullptr, kMin, false, Limit::kMinus}}},
        {"StopWhileCruisingRampsDown",
         {{0, far, 0, true}, {300, stop, 5050, true}, {399, nullptr, 6098, true}, {400, nullptr, 6100, false}}},
        {"EmergencyStopHaltsAtOnce",
         {{0, jogPlus, 0, true}, {300, [](MotionModel& m) { m.EmergencyStop(0); }, 5050, false}}},
        {"RedefiningShiftsTheLimitsWithTheCounter",
         {{0, [](MotionModel& m) { m.SetPosition(0, 500); }, 500, false}, {60000, jogPlus, 500, true},
          {120000, nullptr, kMax + 500, false, Limit::kPlus}}},
        {"SpeedsApplyToTheNextMove",
         {{0, [](MotionModel& m) { m.SetSpeeds(0, {1000, 1000, 0}); }, 0, false},
          {0, [](MotionModel& m) { m.MoveTo(0, 500); }, 0, true}, {499, nullptr, 499, true}, {500, nullptr, 500, false}}},
        // clang-format on
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ManualSimClock clock;
        clock.Advance(1'000'000'000);  // the model must not assume a clock that starts at 0
        MotionModel model(clock, 2);
        for (size_t i = 0; i < row.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = row.steps[i];
            clock.Advance(1'000'000'000 + step.atMs - clock.NowMs());
            if (step.act != nullptr) step.act(model);
            EXPECT_EQ(model.Position(0), step.position);
            EXPECT_EQ(model.Moving(0), step.moving);
            EXPECT_EQ(model.AtLimit(0), step.limit);
        }
    }
}

}  // namespace
}  // namespace astrel::sim
