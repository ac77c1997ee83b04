// Every maker's stops on the in-memory device: noise on the line never holds
// a stop back.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DriverFactory.h"
#include "FakeSerialDevice.h"
#include "Makers.h"

namespace astrel::test {
namespace {

// StopMove then StopNow of `maker`'s driver on a line that acknowledges every
// command, after `noise` (a half line, line errors) was left on it: ten times
// StopMove's result plus StopNow's, and the lines written. Both stops must go
// out without waiting.
std::pair<int32_t, std::vector<std::string>> Stops(const Maker& maker, bool noise) {
    FakeRig rig;
    const std::unique_ptr<CAstrelBase> driver = CreateDriver(maker.makerType);
    EXPECT_EQ(rig.Open(*driver, maker.model), 1) << maker.model;
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

}  // namespace
}  // namespace astrel::test
