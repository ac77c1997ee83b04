// Why a call failed, through the C interface: each failure gives its own code
// and a message naming the call, the port and what was sent, kept per thread.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using LastError = NoHandlesTaken;

std::string LastText() {
    char text[512];
    EXPECT_LT(AstrelLastErrorText(text, sizeof text), static_cast<int32_t>(sizeof text));
    return text;
}

// A stage that makes one call fail on the calling thread.
struct Row {
    const char* name;
    int32_t code;
    const char* fragment;  // found in the message
    std::function<void()> fail;
};

// A silent controller's query, cut short by a stop from another thread.
void InterruptedQuery(SimStage& stage) {
    stage.SetFault(sim::Fault::kSilent);
    std::thread stop([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        StopMove(stage.h);
    });
    GetStageStatus(stage.h);
    stop.join();
}

TEST_F(LastError, EachFailureGivesItsCodeAndNamesCallPortAndCommand) {
    const Row rows[] = {
        {"silent", ASTREL_ERROR_NO_REPLY, "GetStageStatus on /dev/pts/",
         [] {
             SimStage s(0, "QT3");
             s.SetFault(sim::Fault::kSilent);
             GetStageStatus(s.h);
         }},
        {"time-out names the wait and command", ASTREL_ERROR_NO_REPLY,
         ": no reply within 300 ms to \"",
         [] {
             SimStage s(0, "QT3");
             s.SetFault(sim::Fault::kSilent);
             GetStagePosition(s.h, nullptr, nullptr, nullptr);
         }},
        {"garbage", ASTREL_ERROR_BAD_REPLY, "unusable reply \"?#!\" to \"",
         [] {
             SimStage s(0, "QT3");
             s.SetFault(sim::Fault::kGarbage);
             int32_t x = 0;
             GetStagePosition(s.h, &x, nullptr, nullptr);
         }},
        {"refused speed", ASTREL_ERROR_REFUSED, "refused \"D:1S500F100R50\", answering \"NG\"",
         [] {
             SimStage s(3, "SHOT-202");
             SetMoveSpeeds(s.h, 0, 500, 100, 50);  // a start above the maximum
         }},
        {"hang-up", ASTREL_ERROR_HANG_UP, "(hang-up) to \"",
         [] {
             SimStage s(0, "QT3");
             s.SetFault(sim::Fault::kHangUp);
             GetStageStatus(s.h);
         }},
        {"write after hang-up", ASTREL_ERROR_WRITE_FAILED, "MoveABS on /dev/pts/",
         [] {
             SimStage s(0, "QT3");
             s.SetFault(sim::Fault::kHangUp);
             GetStageStatus(s.h);
             MoveABS(s.h, 1, 2, 3);
         }},
        {"not open", ASTREL_ERROR_NOT_OPEN, "MoveABS on handle 0: the port is not open",
         [] { MoveABS(QtHandle(), 1, 2, 3); }},
        {"missing device", ASTREL_ERROR_OPEN_FAILED,
         "OpenComPort on /nonexistent/tty: cannot open it: no such device",
         [] {
             PointPort(5, "/nonexistent/tty");
             OpenComPort(QtHandle(5));
         }},
        {"not a tty", ASTREL_ERROR_OPEN_FAILED, "/dev/null: cannot open it: not a serial device",
         [] {
             PointPort(5, "/dev/null");
             OpenComPort(QtHandle(5));
         }},
        {"no server", ASTREL_ERROR_OPEN_FAILED,
         "socket://127.0.0.1:1: cannot open it: connection refused",
         [] {
             PointPort(5, "socket://127.0.0.1:1");
             OpenComPort(QtHandle(5));
         }},
        {"no server port", ASTREL_ERROR_OPEN_FAILED, "not socket://HOST:PORT",
         [] {
             PointPort(5, "socket://127.0.0.1:70000");
             OpenComPort(QtHandle(5));
         }},
        {"busy", ASTREL_ERROR_OPEN_FAILED, "busy",
         [] {
             SimStage s(0, "QT3");
             OpenComPort(QtHandle(0));
         }},
        {"unknown model", ASTREL_ERROR_UNKNOWN_MODEL, "no stage model \"QT99\"",
         [] { OpenComPort(StageHandle(0, "QT99", 0)); }},
        {"bad handle", ASTREL_ERROR_BAD_ARGUMENT, "GetStageStatus on handle 99: bad argument",
         [] { GetStageStatus(99); }},
        {"null argument", ASTREL_ERROR_BAD_ARGUMENT, "IsStageRunningEx on /dev/pts/",
         [] {
             SimStage s(0, "QT3");
             IsStageRunningEx(s.h, nullptr);
         }},
        {"interrupted", ASTREL_ERROR_INTERRUPTED, "interrupted by a stop from another thread",
         [] {
             SimStage s(0, "QT3", 5000);
             InterruptedQuery(s);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.fail();
        EXPECT_EQ(AstrelLastError(), row.code);
        EXPECT_NE(LastText().find(row.fragment), std::string::npos) << LastText();
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
        EXPECT_EQ(AstrelLastError(), ASTREL_OK);
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
}

}  // namespace
}  // namespace astrel::test
