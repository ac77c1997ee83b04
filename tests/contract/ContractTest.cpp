// The export contracts a host relies on, run through the real library against
// every maker's simulated controller on a pseudo-terminal, and for some makers
// once more behind a simulated network serial server. A new maker adds its
// simulator to kMakers (Makers.h); the contracts stay as they are.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Astrel.h"
#include "Makers.h"
#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

// The entries of a catalogue list, joined by commas: `first`, then `next`
// until it gives 0 (at most 16 entries).
template <class First, class Next>
std::string Entries(First first, Next next) {
    std::string joined;
    char entry[64] = {};
    int32_t listed = first(entry);
    for (int count = 0; listed == 1 && count < 16; ++count, listed = next(entry)) {
        joined += (joined.empty() ? "" : ",") + std::string(entry);
    }
    return joined;
}

// Every maker's model; over TCP the first two (a controller that answers
// every command, one that acknowledges).
std::vector<Maker> Cases(bool overTcp) {
    std::vector<Maker> cases(std::begin(kMakers), std::end(kMakers));
    for (Maker& maker : cases) maker.overTcp = overTcp;
    if (overTcp) cases.resize(2);
    return cases;
}

class Contract : public ::testing::TestWithParam<Maker> {
  protected:
    static constexpr int32_t kTimeOutMs = 300;

    // The position read back, and `xyz`, for the axes the model moves.
    Positions Position() { return ReadPosition(stage.h, GetParam().axes); }
    Positions Expected(Positions xyz) { return FirstAxes(std::move(xyz), GetParam().axes); }

    SimStage stage{GetParam().makerType, GetParam().model, kTimeOutMs, 0, GetParam().overTcp};
};

TEST_P(Contract, AMoveRunsThenRestsAtItsTarget) {
    EXPECT_EQ(GetStageStatus(stage.h), GetParam().freshStatus);
    EXPECT_EQ(IsStageRunning(stage.h), 0);  // a CP-310 is idle ("I") until it first moves
    ASSERT_EQ(MoveABS(stage.h, 3000, -2000, 1000), 1);
    EXPECT_EQ(GetStageStatus(stage.h), 1);
    int32_t running = -1;
    EXPECT_EQ(IsStageRunningEx(stage.h, &running), 1);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(IsStageRunning(stage.h), 1);
    EXPECT_EQ(WaitAtRest(stage.h), 0);
    EXPECT_EQ(IsStageRunning(stage.h), 0);
    EXPECT_EQ(Position(), Expected({3000, -2000, 1000}));
    ASSERT_EQ(MoveREL(stage.h, -500, 500, -500), 1);
    EXPECT_EQ(WaitAtRest(stage.h), 0);
    EXPECT_EQ(Position(), Expected({2500, -1500, 500}));
    ASSERT_EQ(MoveOriginPosition(stage.h), 1);
    EXPECT_EQ(WaitAtRest(stage.h), 0);
    EXPECT_EQ(Position(), Expected({0, 0, 0}));
}

TEST_P(Contract, SettingTheOriginZeroesThePosition) {
    if (!GetParam().setsPosition) GTEST_SKIP() << "the controller keeps its own counting";
    ASSERT_EQ(MoveABS(stage.h, 1200, 800, 400), 1);
    EXPECT_EQ(WaitAtRest(stage.h), 0);
    ASSERT_EQ(SetOriginNowPos(stage.h), 1);
    EXPECT_EQ(Position(), Expected({0, 0, 0}));
}

// X stops on its plus limit and the last axis on its minus limit: limit
// patterns that differ per axis, and numbers above 9 where they are bits.
TEST_P(Contract, ALimitStopsTheAxisAndIsReported) {
    const int last = GetParam().axes - 1;
    stage.With([last](sim::Simulator& s) {
        s.GetDialect().Motion().SetLimits(0, -100000, 2000);
        if (last > 0) s.GetDialect().Motion().SetLimits(last, -3000, 100000);
    });
    Positions target = {5000, 0, 0}, limited = {2000, 0, 0};
    if (last > 0) {
        target[static_cast<size_t>(last)] = -5000;
        limited[static_cast<size_t>(last)] = -3000;
    }
    ASSERT_EQ(MoveABS(stage.h, target[0], target[1], target[2]), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // both on their limits
    EXPECT_EQ(WaitAtRest(stage.h), GetParam().limitStatus);
    EXPECT_EQ(Position(), Expected(limited));
    if (GetParam().limitQuery) {
        EXPECT_EQ(IsStopByLimit(stage.h, 0xFFFF), 1);
    }
    // Each axis answers for itself; an axis the stage lacks cannot be asked.
    // A controller that tells no limits answers "not at a limit".
    for (const uint16_t axis : {0, 1, 2, 0xFFFF}) {
        SCOPED_TRACE(axis);
        const bool present = axis == 0xFFFF || axis <= last;
        const bool onLimit = axis == 0xFFFF || axis == 0 || (last > 0 && axis == last);
        int32_t atLimit = -1;
        EXPECT_EQ(IsStopByLimitEx(stage.h, axis, &atLimit), present ? 1 : 0);
        EXPECT_EQ(atLimit, !present ? -1 : GetParam().limitQuery && onLimit ? 1 : 0);
    }
}

TEST_P(Contract, AJogRunsUntilStopped) {
    ASSERT_EQ(MoveJOG(stage.h, 1, 0, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(GetStageStatus(stage.h), 1);
    ASSERT_EQ(StopJOG(stage.h), 1);
    EXPECT_EQ(WaitAtRest(stage.h), 0);
    EXPECT_EQ(IsStageRunning(stage.h), 0);
    const Positions at = Position();
    EXPECT_GT(at[0] * GetParam().jogSign, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Position(), at);
}

// The catalogue lists the model with its axis count, and the maker's speed
// and acceleration units; a maker without a catalogue lists nothing.
TEST_P(Contract, TheCatalogueListsTheModelAndItsUnits) {
    const Maker& maker = GetParam();
    int32_t axes = 0;
    const auto withAxes = [&axes](int32_t listed, char* entry) {
        std::strcat(entry, (":" + std::to_string(axes)).c_str());
        return listed;
    };
    const std::string models =
        Entries([&](char* e) { return withAxes(GetStageListFirst(maker.makerType, &axes, e), e); },
                [&](char* e) { return withAxes(GetStageListNext(&axes, e), e); });
    const int32_t listedAxes = maker.listedAxes != 0 ? maker.listedAxes : maker.axes;
    const std::string entry = std::string(maker.model) + ":" + std::to_string(listedAxes);
    EXPECT_EQ(("," + models + ",").find("," + entry + ",") != std::string::npos,
              *maker.speedUnits != '\0')
        << models;
    EXPECT_EQ(Entries([&](char* unit) { return GetSpeedUnitListFirst(maker.makerType, unit); },
                      GetSpeedUnitListNext),
              maker.speedUnits);
    EXPECT_EQ(Entries([&](char* unit) { return GetAcclUnitListFirst(maker.makerType, unit); },
                      GetAcclUnitListNext),
              maker.acclUnits);
}

// A line that comes late (a copy of the controller's last answer, after the
// host has read it) is dropped before the next query: each answer is fresh.
TEST_P(Contract, ALateLineIsNeverTakenForTheNextAnswer) {
    const Maker& maker = GetParam();
    stage.SetFault(sim::Fault::kLate);
    stage.With([](sim::Simulator& s) { s.GetDialect().Motion().SetLimits(0, -100000, 2000); });
    ASSERT_EQ(MoveABS(stage.h, 5000, -700, 300), 1);
    EXPECT_EQ(GetStageStatus(stage.h), 1);  // a late copy of this answer would say "moving"
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // at rest by now
    const auto late = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
    EXPECT_EQ(Position(), Expected({2000, -700, 300}));
    late();
    if (maker.limitQuery) {
        EXPECT_EQ(IsStopByLimit(stage.h, 0), 1);
        late();
        EXPECT_EQ(IsStopByLimit(stage.h, 1), 0);
        late();
    }
    int32_t running = -1;
    EXPECT_EQ(IsStageRunningEx(stage.h, &running), 1);
    EXPECT_EQ(running, 0);
    late();
    EXPECT_EQ(GetStageStatus(stage.h), maker.limitStatus);
}

TEST_P(Contract, ASilentControllerIsNoReplyWithinTheTimeOut) {
    stage.SetFault(sim::Fault::kSilent);
    for (const int16_t sign : {1, -1}) {  // whatever the signs, a failure writes nothing
        SCOPED_TRACE(sign);
        for (int32_t axis = 0; axis < 3; ++axis) ASSERT_EQ(SetAxisSign(stage.h, axis, sign), 1);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(GetStageStatus(stage.h), 6);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_LT(waited, std::chrono::milliseconds(2 * kTimeOutMs + 300));  // at most one resend
        int32_t x = 11, y = 22, z = 33, running = 44, atLimit = 55;
        EXPECT_EQ(GetStagePosition(stage.h, &x, &y, &z), 0);
        EXPECT_EQ(IsStageRunningEx(stage.h, &running), 0);
        EXPECT_EQ(IsStageRunning(stage.h), 0);
        EXPECT_EQ(IsStopByLimit(stage.h, 0xFFFF), 0);
        EXPECT_EQ(IsStopByLimitEx(stage.h, 0, &atLimit), 0);
        EXPECT_EQ((Positions{x, y, z, running, atLimit}), (Positions{11, 22, 33, 44, 55}));
    }
}

TEST_P(Contract, AGarbageReplyIsNoUsableReply) {
    stage.SetFault(sim::Fault::kGarbage);
    int32_t x = 11, y = 22, z = 33, running = 44;
    EXPECT_EQ(GetStagePosition(stage.h, &x, &y, &z), 0);
    EXPECT_EQ((Positions{x, y, z}), (Positions{11, 22, 33}));
    if (!GetParam().garbageStatus) return;
    EXPECT_EQ(GetStageStatus(stage.h), 6);
    EXPECT_EQ(IsStageRunningEx(stage.h, &running), 0);
    EXPECT_EQ(running, 44);
    // Where 0 also means "no", the caller learns of the failure from the last error.
    const auto failsWithAnError = [](int32_t (*call)(int32_t), int32_t h) {
        GetStageStatus(-1);  // a last error of another kind, to tell the next one from
        EXPECT_EQ(call(h), 0);
        const int32_t code = AstrelLastError();
        EXPECT_TRUE(code == ASTREL_ERROR_BAD_REPLY || code == ASTREL_ERROR_NO_REPLY) << code;
    };
    if (GetParam().limitQuery) {
        failsWithAnError([](int32_t h) { return IsStopByLimit(h, 0xFFFF); }, stage.h);
        int32_t atLimit = 55;
        EXPECT_EQ(IsStopByLimitEx(stage.h, 0, &atLimit), 0);
        EXPECT_EQ(atLimit, 55);
    }
    failsWithAnError(IsStageRunning, stage.h);
}

INSTANTIATE_TEST_SUITE_P(Makers, Contract, ::testing::ValuesIn(Cases(false)),
                         [](const auto& maker) { return std::string(maker.param.name); });
INSTANTIATE_TEST_SUITE_P(OverTcp, Contract, ::testing::ValuesIn(Cases(true)),
                         [](const auto& maker) { return std::string(maker.param.name); });

}  // namespace
}  // namespace astrel::test
