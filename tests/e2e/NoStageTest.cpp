// Every export that takes a handle, for handles that name no stage: out of
// range, negative, an empty slot, and a handle that was never opened. Each
// gives its documented result and writes none of the caller's outputs.
#include <climits>
#include <cstring>

#include "Astrel.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace {

// The caller's outputs, filled with bytes no export writes.
struct Outputs {
    int32_t a, b, c;
    uint32_t value;
    char buffer[16];
    CommunicationParam param;

    Outputs() { std::memset(this, 0x5A, sizeof *this); }
    bool Untouched() const {
        const Outputs fresh;
        return std::memcmp(this, &fresh, sizeof *this) == 0;
    }
};

struct Row {
    const char* call;
    int32_t bad;       // result for a handle that names no slot in use
    int32_t unopened;  // result for a handle without a driver
    bool writes;       // writes its outputs for a handle without a driver
    int32_t (*run)(int32_t h, Outputs& o);
};

// One row per export: its results, and the call itself, which names the row.
// (StopJOG and CP310SetStageDirection are StopMove and StgSetStageDirection
// under other names.)
#define ROW(bad, unopened, writes, call)                                            \
    {                                                                               \
#call, bad, unopened, writes,                                               \
            [](int32_t h, [[maybe_unused]] Outputs & o) -> int32_t { return call; } \
    }

// clang-format off
const Row kRows[] = {
    ROW(-1, 5, false, GetUseMakerType(h)),
    ROW(0, 1, false, astrel::test::StageName(h) != "<null>"),
    ROW(0, 1, false, SetCommunicationParam(h, &o.param)),
    ROW(0, 1, false, SetCommunicationParams(h, 0, 0, 0, 0, 0, 0, 0)),
    ROW(0, 1, true, GetCommunicationParam(h, &o.param)),
    ROW(0, 1, false, SetAxisSign(h, 1, -1)),
    ROW(0, 0, false, OpenComPort(h)),
    ROW(0, 0, false, CloseComPort(h)),
    ROW(0, 0, false, InitializeStage(h)),
    ROW(0, 0, false, SendStageData(h, "Q:A0")),
    ROW(0, 0, false, ReceiveStageData(h, o.buffer, 16, &o.a)),
    ROW(0, 0, false, GetStageFunctionProperty(h, 0, &o.value)),
    ROW(7, 7, false, GetStageStatus(h)),
    ROW(0, 0, false, RemoteStage(h, 1)),
    ROW(0, 0, false, IsStageRunning(h)),
    ROW(0, 0, false, IsStageRunningEx(h, &o.a)),
    ROW(0, 0, false, IsStopByLimit(h, 0xFFFF)),
    ROW(0, 0, false, IsStopByLimitEx(h, 0, &o.a)),
    ROW(0, 1, false, SetPortDevice(h, "/dev/null")),
    ROW(0, 1, true, GetPortDevice(h, o.buffer, sizeof o.buffer)),
    ROW(0, 0, false, GetStagePosition(h, &o.a, &o.b, &o.c)),
    ROW(0, 0, false, SetStagePosition(h, 1, 2, 3)),
    ROW(0, 0, false, SetOriginNowPos(h)),
    ROW(0, 0, false, MoveABS(h, 1, 2, 3)),
    ROW(0, 0, false, MoveREL(h, 1, 2, 3)),
    ROW(0, 0, false, MoveJOG(h, 1, 1, 1)),
    ROW(0, 0, false, StopMove(h)),
    ROW(0, 0, false, StopNow(h)),
    ROW(0, 0, false, MoveOriginPosition(h)),
    ROW(0, 0, false, SetMoveSpeeds(h, 0, 1, 2, 3)),
    ROW(0, 0, false, StgSetStageDirection(h, 0, -1)),
    ROW(0, 0, false, SetAxisNum(h, 0, 1, 2)),
    ROW(0, 0, false, SetTrigger(h, 1, 2)),
    ROW(0, 0, false, OnceTrigger(h)),
    ROW(0, 0, false, StopTrigger(h)),
    ROW(0, 0, false, GetTriggerRange(h, &o.a, &o.b)),
};
// clang-format on

using NoStage = astrel::test::NoHandlesTaken;

TEST_F(NoStage, EveryExportGivesItsNoStageResult) {
    const auto unopened = static_cast<int32_t>(Astrel());
    SetUseMakerType(unopened, 5);          // no driver, so OpenComPort cannot attach one
    for (const int32_t h : {10, -1, 5}) {  // setters without a result change nothing
        SetUseMakerType(h, 3);
        SetUseStageName(h, "QT3");
        ReleaseAstrel(h);
    }
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.call);
        for (const int32_t h : {10, -1, INT32_MIN, INT32_MAX, 5, unopened}) {
            SCOPED_TRACE(h);
            Outputs out;
            EXPECT_EQ(row.run(h, out), h == unopened ? row.unopened : row.bad);
            if (h != unopened || !row.writes) {
                EXPECT_TRUE(out.Untouched());
            }
            // The setters on other handles changed nothing of this one.
            EXPECT_EQ(GetUseMakerType(unopened), 5);
        }
    }
}

}  // namespace
