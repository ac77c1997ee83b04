// Stage handles made through the C interface, for the end-to-end tests of
// every system.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace astrel::test {

// Releases handles 0..9, so that a test starts and ends with none taken.
inline void ReleaseAllHandles() {
    for (int32_t h = 0; h < 10; ++h) ReleaseAstrel(h);
}

// A fixture whose tests start and end with no handle taken. Test files name
// it after their suite (using Registry = NoHandlesTaken), so that one suite
// may span several files.
class NoHandlesTaken : public ::testing::Test {
  protected:
    void SetUp() override { ReleaseAllHandles(); }
    void TearDown() override { ReleaseAllHandles(); }
};

// A new handle of maker `makerType` and model `model` on port index `port`,
// with the driver's line defaults and a reply time-out of `timeOutMs` (0 or
// less: the default 5000 ms). The port is not opened.
inline int32_t StageHandle(int16_t makerType, const char* model, uint16_t port,
                           int32_t timeOutMs = 0) {
    const auto h = static_cast<int32_t>(Astrel());
    SetUseMakerType(h, makerType);
    SetUseStageName(h, model);
    const CommunicationParam param{port, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, timeOutMs};
    SetCommunicationParam(h, &param);
    return h;
}

// A QT3 handle on port index `port`, as StageHandle makes it.
inline int32_t QtHandle(uint16_t port = 0, int32_t timeOutMs = 0) {
    return StageHandle(0, "QT3", port, timeOutMs);
}

// The stage name stored for `h`; "<null>" when there is none.
inline std::string StageName(int32_t h) {
    char* name = GetUseStageName(h);
    std::string copy = name != nullptr ? name : "<null>";
    FreeStageName(name);
    return copy;
}

using Positions = std::vector<int32_t>;

// The position of `h` read back (which must succeed), for its first `axes` axes.
inline Positions ReadPosition(int32_t h, int axes) {
    int32_t xyz[3] = {-7, -7, -7};
    EXPECT_EQ(GetStagePosition(h, &xyz[0], &xyz[1], &xyz[2]), 1);
    return Positions(xyz, xyz + axes);
}

// `xyz` cut to its first `axes` axes.
inline Positions FirstAxes(Positions xyz, int axes) {
    xyz.resize(static_cast<size_t>(axes));
    return xyz;
}

// Polls GetStageStatus of `h` while it reports motion (1), at most `ms`, and
// returns the last status: 0 at rest, 1 still moving, or another code.
inline int32_t WaitAtRest(int32_t h, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int32_t status = GetStageStatus(h);
        if (status != 1 || std::chrono::steady_clock::now() >= until) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace astrel::test
