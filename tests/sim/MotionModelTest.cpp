// The motion model on a hand-driven clock: how long a move takes and where it
// is on the way (what the contracts through the simulators cannot see). Default
// speeds: start 1000/s, maximum 20000/s, 100 ms ramps, so a ramp covers 1050
// units and a 10000-unit move takes 100 + 395 + 100 ms.
#include <gtest/gtest.h>

#include <utility>

#include "MotionModel.h"

namespace astrel::sim {
namespace {

TEST(MotionModel, AMoveTakesTheTimeItsSpeedsSay) {
    ManualSimClock clock;
    constexpr uint64_t kStart =
        1'000'000'000;  // the model must not assume a clock that starts at 0
    clock.Advance(kStart);
    MotionModel model(clock, 2);
    model.MoveTo(0, 10000);
    // 1 unit/ms at first, rising by 0.19 per ms.
    for (const auto& [atMs, position] :
         {std::pair{0, 0}, {50, 287}, {100, 1050}, {594, 9998}, {595, 10000}}) {
        SCOPED_TRACE(atMs);
        clock.Advance(kStart + static_cast<uint64_t>(atMs) - clock.NowMs());
        EXPECT_EQ(model.Position(0), position);
        EXPECT_EQ(model.Moving(0), position != 10000);
    }
}

}  // namespace
}  // namespace astrel::sim
