// The QT controller, line in and bytes out on a hand-driven clock: status at
// rest, while moving and on a limit, each command family, refused lines, and
// the faults that reshape replies. Default speeds: a ramp is 100 ms and 1050
// units, then 20 units per ms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Dialects.h"
#include "Simulator.h"

namespace astrel::sim {
namespace {

struct Exchange {
    uint64_t atMs;
    const char* line;
    const char* reply;
};

TEST(QtDialect, AnswersEachCommandFamily) {
    const struct {
        const char* name;
        const char* model;
        std::vector<Exchange> exchanges;
        Fault fault = Fault::kNone;
    } cases[] = {
        {"StatusAtRestAndWhileMoving",
         "QT3",
         {{0, "Q:A0B0C0", "0,0,0\r\n"},
          {0, "AGO:A1000B-250C0", ""},
          {0, "Q:A0B0C0", "0D,0D,0\r\n"},
          {1000, "Q:C0A0B0", "0,1000,-250\r\n"}}},
        {"AllAxesOfTheModelAndLettersItLacks",
         "msc2",
         {{0, "Q:0", "0,0\r\n"},
          {0, "AGO:A5C7", ""},
          {100, "Q:A0B0C0", "5,0\r\n"},
          {100, "Q:C0", "\r\n"}}},
        {"LimitLetter", "QT1", {{0, "MGO:A2000000", ""}, {60000, "Q:A0", "1000000L\r\n"}}},
        {"RelativeMoveAloneMovesNothing", "QT1", {{0, "MGO:", ""}, {0, "Q:A0", "0\r\n"}}},
        {"JogThenStopOneAxisThenAll",
         "QT2",
         {{0, "JGO:A+B-", ""},
          {100, "L:B", ""},
          {300, "Q:0", "5050D,-2100\r\n"},
          {300, "E:", ""},
          {300, "Q:0", "5050,-2100\r\n"}}},
        {"StopEveryAxis",
         "QT2",
         {{0, "JGO:A+B-", ""}, {100, "L:", ""}, {200, "Q:0", "2100,-2100\r\n"}}},
        {"RedefineThenReturnToOrigin",
         "QT3",
         {{0, "R:A100B200C300", ""},
          {0, "Q:0", "100,200,300\r\n"},
          {0, "H:AC", ""},
          {1000, "Q:0", "0,200,0\r\n"}}},
        {"TwoAxisAbsoluteMoveLeavesTheThird",
         "QT3",
         {{0, "BGO:A100B200C300", ""}, {1000, "Q:0", "100,200,0\r\n"}}},
        {"SpeedsAreStartMaximumAcceleration",
         "QT1",
         {{0, "D:A500,1000,0", ""},
          {0, "MGO:A500", ""},
          {499, "Q:A0", "499D\r\n"},
          {500, "Q:A0", "500\r\n"}}},
        {"Parameters",
         "QT3",
         {{0, "P:18R", "0,0,0\r\n"},
          {0, "P:18A0B1C0", ""},
          {0, "P:18R", "0,1,0\r\n"},
          {0, "P:18B2", "NG\r\n"},
          {0, "P:08A1", ""},
          {0, "P:08R", "1,0,0\r\n"},
          {0, "P:51,XY", ""},
          {0, "P:51R", "XY\r\n"},
          {0, "F:", ""},
          {0, "RESTA:", ""}}},
        {"SpeedSelection",
         "QT2",
         {{0, "S:R", "00,00\r\n"}, {0, "S:A01B12", ""}, {0, "S:R", "01,12\r\n"}}},
        {"UnreadableLinesAreRefusedWhole",
         "QT3",
         {{0, "HELLO", "NG\r\n"},
          {0, "X:A1", "NG\r\n"},
          {0, "AGO:A100Z5", "NG\r\n"},
          {0, "JGO:A*", "NG\r\n"},
          {0, "Q:A1", "NG\r\n"},
          {0, "D:A1,2", "NG\r\n"},
          {0, "ago:A100", "NG\r\n"},
          {1000, "Q:0", "0,0,0\r\n"}}},
        {"GarbageReplacesEachReplyLine",
         "QT3",
         {{0, "Q:0", "?#!\r\n"}, {0, "AGO:A1", ""}},
         Fault::kGarbage},
        {"HalfLine", "QT3", {{0, "Q:0", "0,0"}}, Fault::kHalfLine},
        {"SilentStillCarriesOutCommands",
         "QT3",
         {{0, "AGO:A1", ""}, {0, "Q:0", ""}},
         Fault::kSilent},
        {"HangUpAnswersNothing", "QT3", {{0, "Q:0", ""}}, Fault::kHangUp},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ManualSimClock clock;
        const DialectInfo* qt = FindDialectByName("Qt");
        ASSERT_NE(qt, nullptr);
        auto dialect = qt->create(row.model, clock);
        ASSERT_NE(dialect, nullptr);
        Simulator simulator(std::move(dialect));
        simulator.SetFault({.fault = row.fault});
        for (const Exchange& exchange : row.exchanges) {
            clock.Advance(exchange.atMs - clock.NowMs());
            EXPECT_EQ(simulator.Answer(exchange.line), exchange.reply) << exchange.line;
        }
    }
}

TEST(Dialects, FoundByTypeOrNameAndServeTheirModels) {
    ManualSimClock clock;
    const DialectInfo* qt = FindDialectByType(0);
    ASSERT_NE(qt, nullptr);
    EXPECT_EQ(qt, FindDialectByName("QT"));
    EXPECT_EQ(FindDialectByType(5), nullptr);
    EXPECT_EQ(FindModel(*qt, "msc2"), "MSC2");
    EXPECT_EQ(FindModel(*qt, "QT4"), "");
    EXPECT_EQ(qt->create("QT4", clock), nullptr);
}

}  // namespace
}  // namespace astrel::sim
