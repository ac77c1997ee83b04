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

enum Op {
    kCheck,
    kMoveTo,
    kMoveBy,
    kJog,
    kStop,
    kEmergencyStop,
    kHome,
    kRedefine,
    kScale,
    kLinearSpeed
};

// At `atMs` on the clock, do `op` with `value`, then expect the axis there.
struct Step {
    uint64_t atMs;
    Op op;
    int64_t value;
    int32_t position;
    bool moving;
    Limit limit = Limit::kNone;
    int axis = 0;
};

void Apply(MotionModel& model, const Step& step) {
    const int a = step.axis;
    switch (step.op) {
        case kCheck:
            break;
        case kMoveTo:
            model.MoveTo(a, step.value);
            break;
        case kMoveBy:
            model.MoveBy(a, step.value);
            break;
        case kJog:
            model.Jog(a, static_cast<int>(step.value));
            break;
        case kStop:
            model.Stop(a);
            break;
        case kEmergencyStop:
            model.EmergencyStop(a);
            break;
        case kHome:
            model.Home(a);
            break;
        case kRedefine:
            model.SetPosition(a, step.value);
            break;
        case kScale:
            model.SetTimeScale(static_cast<uint32_t>(step.value));
            break;
        case kLinearSpeed: {
            const auto speed = static_cast<int32_t>(step.value);
            model.SetSpeeds(a, {speed, speed, 0});
            break;
        }
    }
}

TEST(MotionModel, MovesByItsSpeedsAndStopsAtLimits) {
    constexpr int64_t kMax = MotionModel::kDefaultMaxLimit;
    constexpr int64_t kMin = MotionModel::kDefaultMinLimit;
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"MoveTakesTheTimeItsSpeedsSay",
         {{0, kMoveTo, 10000, 0, true},
          {50, kCheck, 0, 287, true},  // 1 unit/ms rising by 0.19 per ms
          {100, kCheck, 0, 1050, true},
          {594, kCheck, 0, 9998, true},
          {595, kCheck, 0, 10000, false}}},
        {"ShortMoveTurnsBackBeforeTopSpeed",
         {{0, kMoveBy, -100, 0, true}, {36, kCheck, 0, -99, true}, {37, kCheck, 0, -100, false}}},
        {"MovePastALimitStopsOnItUntilMovedAway",
         {{0, kMoveTo, 5 * kMax, 0, true},
          {50095, kCheck, 0, kMax, false, Limit::kPlus},
          {50095, kMoveBy, -10, kMax, true},
          {60000, kCheck, 0, kMax - 10, false}}},
        {"JogRunsToTheLimit",
         {{0, kJog, -1, 0, true}, {60000, kCheck, 0, kMin, false, Limit::kMinus}}},
        {"StopWhileCruisingRampsDown",
         {{0, kMoveTo, 100000, 0, true},
          {300, kStop, 0, 5050, true},
          {399, kCheck, 0, 6098, true},
          {400, kCheck, 0, 6100, false}}},
        {"StopWhileSpeedingUpRampsDownFromThere",
         {{0, kMoveTo, 100000, 0, true}, {50, kStop, 0, 287, true}, {100, kCheck, 0, 575, false}}},
        {"EmergencyStopHaltsAtOnce",
         {{0, kJog, 1, 0, true}, {300, kEmergencyStop, 0, 5050, false}}},
        {"TimeScaleSpeedsEverythingUp",
         {{0, kScale, 10, 0, false},
          {0, kMoveTo, 10000, 0, true},
          {59, kCheck, 0, 9992, true},
          {60, kCheck, 0, 10000, false}}},
        {"RedefiningShiftsTheLimitsWithTheCounter",
         {{0, kRedefine, 500, 500, false},
          {60000, kJog, 1, 500, true},
          {120000, kCheck, 0, kMax + 500, false, Limit::kPlus}}},
        {"RedefiningAMovingAxisStopsIt", {{0, kJog, 1, 0, true}, {300, kRedefine, 7, 7, false}}},
        {"HomeReturnsToZero",
         {{0, kRedefine, 5000, 5000, false},
          {0, kHome, 0, 5000, true},
          {345, kCheck, 0, 0, false}}},
        {"SpeedsApplyToTheNextMove",
         {{0, kLinearSpeed, 1000, 0, false},
          {0, kMoveTo, 500, 0, true},
          {499, kCheck, 0, 499, true},
          {500, kCheck, 0, 500, false}}},
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
            Apply(model, step);
            EXPECT_EQ(model.Position(step.axis), step.position);
            EXPECT_EQ(model.Moving(step.axis), step.moving);
            EXPECT_EQ(model.AtLimit(step.axis), step.limit);
        }
    }
}

}  // namespace
}  // namespace astrel::sim
