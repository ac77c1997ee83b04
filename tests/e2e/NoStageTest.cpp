// Every export that takes a handle, for handles that name no stage: out of
// range, negative, an empty slot, and a handle that was never opened. Each
// gives its documented result and writes none of the caller's outputs.
#include <climits>
#include <cstring>
#include <functional>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace {

// The caller's outputs, filled with values no export writes.
struct Outputs {
    int32_t a = 11, b = 22, c = 33;
    uint32_t value = 44;
    char buffer[16] = "untouched";
    CommunicationParam param{7, 7, 7, 7, 7, 7, 7, 7};

    bool Untouched() const {
        const Outputs fresh;
        return a == fresh.a && b == fresh.b && c == fresh.c && value == fresh.value &&
               std::strcmp(buffer, fresh.buffer) == 0 &&
               std::memcmp(&param, &fresh.param, sizeof param) == 0;
    }
};

TEST(NoStage, EveryExportGivesItsNoStageResult) {
    for (int32_t h = 0; h < 10; ++h) ReleaseAstrel(h);
    const auto unopened = static_cast<int32_t>(Astrel());
    SetUseMakerType(unopened, 5);  // no driver, so OpenComPort cannot attach one
    const struct {
        const char* name;
        std::function<int32_t(int32_t, Outputs&)> call;
        int32_t bad;       // result for a handle that names no slot in use
        int32_t unopened;  // result for a handle without a driver
        bool writes;       // writes its outputs for a handle without a driver
    } rows[] = {
        {"GetUseMakerType", [](int32_t h, Outputs&) { return GetUseMakerType(h); }, -1, 5, false},
        {"GetUseStageName",
         [](int32_t h, Outputs&) {
             char* name = GetUseStageName(h);
             FreeStageName(name);
             return name != nullptr ? 1 : 0;
         },
         0, 1, false},
        {"SetCommunicationParam",
         [](int32_t h, Outputs& o) { return SetCommunicationParam(h, &o.param); }, 0, 1, false},
        {"SetCommunicationParams",
         [](int32_t h, Outputs&) { return SetCommunicationParams(h, 0, 0, 0, 0, 0, 0, 0); }, 0, 1,
         false},
        {"GetCommunicationParam",
         [](int32_t h, Outputs& o) { return GetCommunicationParam(h, &o.param); }, 0, 1, true},
        {"SetAxisSign", [](int32_t h, Outputs&) { return SetAxisSign(h, 1, -1); }, 0, 1, false},
        {"OpenComPort", [](int32_t h, Outputs&) { return OpenComPort(h); }, 0, 0, false},
        {"CloseComPort", [](int32_t h, Outputs&) { return CloseComPort(h); }, 0, 0, false},
        {"InitializeStage", [](int32_t h, Outputs&) { return InitializeStage(h); }, 0, 0, false},
        {"SendStageData", [](int32_t h, Outputs&) { return SendStageData(h, "Q:A0"); }, 0, 0,
         false},
        {"ReceiveStageData",
         [](int32_t h, Outputs& o) { return ReceiveStageData(h, o.buffer, 16, &o.a); }, 0, 0,
         false},
        {"GetStageFunctionProperty",
         [](int32_t h, Outputs& o) { return GetStageFunctionProperty(h, 0, &o.value); }, 0, 0,
         false},
        {"GetStageStatus", [](int32_t h, Outputs&) { return GetStageStatus(h); }, 7, 7, false},
        {"RemoteStage", [](int32_t h, Outputs&) { return RemoteStage(h, 1); }, 0, 0, false},
        {"IsStageRunning", [](int32_t h, Outputs&) { return IsStageRunning(h); }, 0, 0, false},
        {"IsStageRunningEx", [](int32_t h, Outputs& o) { return IsStageRunningEx(h, &o.a); }, 0, 0,
         false},
        {"IsStopByLimit", [](int32_t h, Outputs&) { return IsStopByLimit(h, 0xFFFF); }, 0, 0,
         false},
        {"GetStagePosition",
         [](int32_t h, Outputs& o) { return GetStagePosition(h, &o.a, &o.b, &o.c); }, 0, 0, false},
        {"SetStagePosition", [](int32_t h, Outputs&) { return SetStagePosition(h, 1, 2, 3); }, 0, 0,
         false},
        {"SetOriginNowPos", [](int32_t h, Outputs&) { return SetOriginNowPos(h); }, 0, 0, false},
        {"MoveABS", [](int32_t h, Outputs&) { return MoveABS(h, 1, 2, 3); }, 0, 0, false},
        {"MoveREL", [](int32_t h, Outputs&) { return MoveREL(h, 1, 2, 3); }, 0, 0, false},
        {"MoveJOG", [](int32_t h, Outputs&) { return MoveJOG(h, 1, 1, 1); }, 0, 0, false},
        {"StopMove", [](int32_t h, Outputs&) { return StopMove(h); }, 0, 0, false},
        {"StopJOG", [](int32_t h, Outputs&) { return StopJOG(h); }, 0, 0, false},
        {"StopNow", [](int32_t h, Outputs&) { return StopNow(h); }, 0, 0, false},
        {"MoveOriginPosition", [](int32_t h, Outputs&) { return MoveOriginPosition(h); }, 0, 0,
         false},
        {"SetMoveSpeeds", [](int32_t h, Outputs&) { return SetMoveSpeeds(h, 0, 1, 2, 3); }, 0, 0,
         false},
        {"CP310SetStageDirection",
         [](int32_t h, Outputs&) { return CP310SetStageDirection(h, 0, -1); }, 0, 0, false},
        {"StgSetStageDirection", [](int32_t h, Outputs&) { return StgSetStageDirection(h, 0, -1); },
         0, 0, false},
        {"SetAxisNum", [](int32_t h, Outputs&) { return SetAxisNum(h, 0, 1, 2); }, 0, 0, false},
        {"SetTrigger", [](int32_t h, Outputs&) { return SetTrigger(h, 1, 2); }, 0, 0, false},
        {"OnceTrigger", [](int32_t h, Outputs&) { return OnceTrigger(h); }, 0, 0, false},
        {"StopTrigger", [](int32_t h, Outputs&) { return StopTrigger(h); }, 0, 0, false},
        {"GetTriggerRange", [](int32_t h, Outputs& o) { return GetTriggerRange(h, &o.a, &o.b); }, 0,
         0, false},
    };
    for (const int32_t h : {10, -1, 5}) {  // setters without a result change nothing
        SetUseMakerType(h, 3);
        SetUseStageName(h, "QT3");
        ReleaseAstrel(h);
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const int32_t h : {10, -1, INT32_MIN, INT32_MAX, 5, unopened}) {
            SCOPED_TRACE(h);
            Outputs out;
            EXPECT_EQ(row.call(h, out), h == unopened ? row.unopened : row.bad);
            if (h != unopened || !row.writes) {
                EXPECT_TRUE(out.Untouched());
            }
            // The setters on other handles changed nothing of this one.
            EXPECT_EQ(GetUseMakerType(unopened), 5);
        }
    }
    ReleaseAstrel(unopened);
}

}  // namespace
