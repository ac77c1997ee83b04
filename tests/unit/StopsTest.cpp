// Every maker's stops on the in-memory device: noise on the line never holds
// a stop back, and a call cut short before it wrote anything does not quote
// the command it never wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DriverFactory.h"
#include "FakeSerialDevice.h"
#include "Makers.h"
#include "diag/LastError.h"

namespace astrel::test {
namespace {

// StopMove then StopNow of `maker`'s driver on a line that acknowledges every
// command, after `noise` (a half line, line errors) was left on it: ten times
// StopMove's result plus StopNow's, and the lines written. Both stops must go
// out without waiting.
std::pair<int32_t, std::vector<std::string>> Stops(const Maker& maker, bool noise) {
    FakeRig rig;
    const std::unique_ptr<CAstrelBase> driver = CreateDriver(maker.makerType);
    rig.Attach(*driver);
    driver->SetStageName(maker.model);
    EXPECT_NE(driver->SelectStage(), 0);
    driver->settings.delimiter = driver->GetDefaultDelimiter();
    EXPECT_EQ(driver->OpenPort(), 1);
    rig.line->responder = [&rig](const std::string&) { rig.line->Queue("OK\r\n"); };
    if (noise) {
        rig.line->Queue("@STS 1 STS=");
        rig.line->lineErrors = 1000;
    }
    const uint32_t start = rig.clock.now_;
    const int32_t results = driver->StopMove() * 10 + driver->StopNow();
    EXPECT_EQ(rig.clock.now_, start) << "a stop waited";
    return {results, rig.line->TakeLines()};
}

TEST(Stops, GoOutWhateverTheInputHolds) {
    for (const Maker& maker : kMakers) {
        SCOPED_TRACE(maker.name);
        const auto quiet = Stops(maker, false);
        EXPECT_EQ(quiet.first, 11);
        EXPECT_EQ(Stops(maker, true), quiet);
    }
}

// A stop from another thread that comes while a command still drains the
// input ends that call before the command is written: the call's error says
// it was interrupted and quotes nothing it did not send.
TEST(Stops, AnUnwrittenCommandIsNotQuoted) {
    FakeRig rig;
    CSerialCommunication port;
    WakeSignal wake;
    rig.Attach(port);
    port.UseWakeSignal(&wake);
    ASSERT_EQ(port.OpenPort(), 1);
    rig.line->Queue("half a li");
    rig.line->onWait = [&wake] { wake.Raise(); };
    BeginCall();
    EXPECT_EQ(port.SendCommand("@ORG 1", 1), 0);
    EndCall("MoveOriginPosition", "COM1", true);
    EXPECT_STREQ(LastErrorText(),
                 "MoveOriginPosition on COM1: interrupted by another thread's stop, close or "
                 "release");
    EXPECT_EQ(rig.line->TakeWritten(), "");
}

}  // namespace
}  // namespace astrel::test
