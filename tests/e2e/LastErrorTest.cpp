// Why a call failed, through the C interface: each failure gives its own code
// and a message naming the call, the port and what was sent, kept per thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using LastError = NoHandlesTaken;
using Call = std::function<void(int32_t h)>;

std::string LastText() {
    char text[512];
    EXPECT_LT(AstrelLastErrorText(text, sizeof text), static_cast<int32_t>(sizeof text));
    return text;
}

// `call` on a simulated stage of `model` (a QT3 unless named) with `fault`,
// over a network serial server with `overTcp`.
std::function<void()> On(sim::Fault fault, Call call, int32_t timeOutMs = 300, int16_t maker = 0,
                         const char* model = "QT3", bool overTcp = false) {
    return [=] {
        SimStage s(maker, model, timeOutMs, 0, overTcp);
        s.SetFault(fault);
        call(s.h);
    };
}
TEST_F(LastError, EachFailureGivesItsCodeAndNamesCallPortAndCommand) {
    using enum sim::Fault;
    const struct {
        int32_t code;
        const char* message;  // a regular expression the whole message matches
        std::function<void()> fail;
    } rows[] = {
        // clang-format off
        {ASTREL_ERROR_NO_REPLY,
         "GetStageStatus on /dev/pts/[0-9]+: no reply within 300 ms to \"Q:A0B0C0\"",
         On(kSilent, [](int32_t h) { GetStageStatus(h); })},
        {ASTREL_ERROR_BAD_REPLY,
         "GetStagePosition on /dev/pts/.*: unusable reply \"\\?#!\" to \"Q:A0B0C0\".*",
         On(kGarbage, [](int32_t h) { int32_t x; GetStagePosition(h, &x, nullptr, nullptr); })},
        {ASTREL_ERROR_REFUSED, ".*refused \"D:1S500F100R50\", answering \"NG\".*",  // start > max
         On(kNone, [](int32_t h) { SetMoveSpeeds(h, 0, 500, 100, 50); }, 300, 3, "SHOT-202")},
        {ASTREL_ERROR_HANG_UP, "GetStageStatus on .*\\(hang-up\\) to \"Q:A0B0C0\".*",
         On(kHangUp, [](int32_t h) { GetStageStatus(h); })},
        {ASTREL_ERROR_HANG_UP, "GetStageStatus on socket://.*\\(hang-up\\) to \"Q:A0B0C0\".*",  // a dropped connection
         On(kHangUp, [](int32_t h) { GetStageStatus(h); }, 300, 0, "QT3", true)},
        {ASTREL_ERROR_WRITE_FAILED, "MoveABS on /dev/pts/.*",
         On(kHangUp, [](int32_t h) { GetStageStatus(h), MoveABS(h, 1, 2, 3); })},
        {ASTREL_ERROR_NOT_OPEN, "MoveABS on handle 0: the port is not open",
         [] { MoveABS(QtHandle(), 1, 2, 3); }},
        {ASTREL_ERROR_OPEN_FAILED, "OpenComPort on /nonexistent/tty: cannot open it: no such dev.*",
         [] { PointPort(5, "/nonexistent/tty"); OpenComPort(QtHandle(5)); }},
        {ASTREL_ERROR_OPEN_FAILED, "OpenComPort on /dev/pts/.*busy.*",
         On(kNone, [](int32_t) { OpenComPort(QtHandle(0)); })},
        {ASTREL_ERROR_UNKNOWN_MODEL, ".*no stage model \"QT99\".*",
         [] { OpenComPort(StageHandle(0, "QT99", 0)); }},
        {ASTREL_ERROR_BAD_ARGUMENT, "IsStopByLimitEx on /dev/pts/.*: bad argument: the stage has no axis 2",
         On(kNone, [](int32_t h) { int32_t at; IsStopByLimitEx(h, 2, &at); }, 300, 6, "CP-500")},
        {ASTREL_ERROR_NO_HANDLE, "Astrel: all ten stage handles are taken",
         [] { for (int n = 0; n < 10; ++n) Astrel(); EXPECT_EQ(Astrel(), 0xFFFFFFFFu); }},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        row.fail();
        EXPECT_EQ(AstrelLastError(), row.code);
        EXPECT_THAT(LastText(), ::testing::MatchesRegex(row.message));
        ReleaseAllHandles();
    }
}

TEST_F(LastError, IsKeptPerThreadAndLeftAsItWasBySuccess) {
    SimStage stage(0, "QT3");
    GetStageStatus(99);
    const std::string failure = LastText();
    std::thread other([&] {
        EXPECT_EQ(AstrelLastError(), ASTREL_OK);
        EXPECT_EQ(GetStageStatus(stage.h), 0);
        GetStageStatus(98);
    });
    other.join();
    EXPECT_EQ(GetStageStatus(stage.h), 0);
    EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(LastText(), failure);
    // A cut copy is terminated and the result tells the size needed.
    char small[8] = "xxxxxxx";
    EXPECT_EQ(AstrelLastErrorText(small, sizeof small), static_cast<int32_t>(failure.size()));
    EXPECT_EQ(std::string(small), failure.substr(0, 7));
    AstrelClearLastError();
    EXPECT_EQ(AstrelLastError(), ASTREL_OK);
    EXPECT_EQ(AstrelLastErrorText(small, sizeof small), 0);
}

}  // namespace
}  // namespace astrel::test
