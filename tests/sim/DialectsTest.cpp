// What each simulated controller answers where a gentle simulator would let a
// driver fault pass: acknowledgements, refusals, and numbers that tell one
// parser from another.
#include <gtest/gtest.h>

#include "Dialects.h"

namespace astrel::sim {
namespace {

using Prepare = void (*)(MotionModel&, ManualSimClock&);

TEST(Dialects, AnswerAsTheirControllersDo) {
    const struct {
        const char* name;
        const char* dialect;
        const char* model;
        Prepare prepare;
        const char* line;
        const char* reply;
    } cases[] = {
        {"SigmaRefusesASpeedOfZero", "sigma", "SHOT-202", nullptr, "D:1S100F0R50", "NG\r\n"},
        {"HiroxRefusesASpeedOfZero", "hirox", "TH3", nullptr, "@SYS 1 4 0", "ERR\r\n"},
        // clang-format off
        {"HiroxEncoderIsNotTheCounter", "hirox", "TH3", [](MotionModel& m, ManualSimClock&) { m.SetPosition(0, 500); },
         "@STS 1 ?", "@STS 1 STS=4H INP=0H OUT=0H POS=500 ENC=501 SPD=0\r\n"},
        {"PriorStatusIsHexadecimal", "prior", "ProScan",  // all three axes moving
         [](MotionModel& m, ManualSimClock&) { for (int axis = 0; axis < 3; ++axis) m.MoveTo(axis, 1000); }, "$", "F\r"},
        {"PriorLimitsAreHexadecimal", "prior", "ProScan",  // Z on its plus limit
         [](MotionModel& m, ManualSimClock& clock) {
             m.SetLimits(2, -100, 100);
             m.MoveTo(2, 500);
             clock.Advance(10000);
         }, "LMT", "10\r"},
        // clang-format on
        {"Mark102DriveAndControllerPieces", "sigma", "Mark-102", nullptr,
         "Q:", "+        0,+        0,K,K,R,K,K\r\n"},
        {"Cp310IdleUntilItFirstMoves", "cp310", "CP-310", nullptr, "!:", "I\r\n"},
        {"SurugaOriginBit", "suruga", "MSC-10", nullptr, "?SX", "p\r"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ManualSimClock clock;
        const auto dialect = FindDialectByName(row.dialect)->create(row.model, clock);
        if (row.prepare != nullptr) row.prepare(dialect->Motion(), clock);
        EXPECT_EQ(dialect->Answer(row.line), row.reply);
    }
}

}  // namespace
}  // namespace astrel::sim
