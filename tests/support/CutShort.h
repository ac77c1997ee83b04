// A call in progress on a stage handle cut short from another thread by a
// stop, a close or a release: how long the cut takes. Through the C
// interface only, for the end-to-end tests of every system.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace astrel::test {

enum class Cut { kStop, kClose, kRelease };
inline constexpr Cut kCuts[] = {Cut::kStop, Cut::kClose, Cut::kRelease};

// Milliseconds since `start`.
inline double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Makes `cut` on `h` from this thread.
inline void MakeCut(Cut cut, int32_t h) {
    if (cut == Cut::kStop) StopMove(h);
    if (cut == Cut::kClose) CloseComPort(h);
    if (cut == Cut::kRelease) ReleaseAstrel(h);
}

// One row of the table of cuts: a name, then each cut's milliseconds.
inline void PrintCutRow(const std::string& name, const double (&ms)[3]) {
    std::printf("%-36s stop %7.2f ms  close %7.2f ms  release %7.2f ms\n", name.c_str(), ms[0],
                ms[1], ms[2]);
}

// How a test readies each cut and watches it: `before(cut)` runs before the
// call starts, `settle()` returns once the call waits, and `heard()` (may be
// empty) once the controller has a stop.
struct CutHooks {
    std::function<void(Cut)> before = [](Cut) {};
    std::function<void()> settle = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    std::function<void()> heard;
};

// Cuts `call()` on `h` short with a stop, a close and a release in turn (the
// port opened before each): `call` runs in a thread of its own and each cut
// comes from this one once it waits. Each cut ends within 50 ms, counted
// until it returned or, for a stop that `heard` watches, until the
// controller had it (a stop that waits for the controller's acknowledgement
// returns later). `call` must end as a call cut short does (it gives
// whether it did, with the last error "interrupted") within a second.
// Prints the row as `name`.
inline void CutEachWay(int32_t h, const std::string& name, const std::function<bool()>& call,
                       const CutHooks& hooks = {}) {
    double ms[3] = {};
    for (const Cut cut : kCuts) {
        SCOPED_TRACE(static_cast<int>(cut));
        ASSERT_EQ(OpenComPort(h), 1);
        hooks.before(cut);
        const auto callStart = std::chrono::steady_clock::now();
        std::thread caller([&] {
            EXPECT_TRUE(call());
            EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_INTERRUPTED);
        });
        hooks.settle();
        const bool untilHeard = cut == Cut::kStop && hooks.heard;
        const auto cutStart = std::chrono::steady_clock::now();
        std::thread cutter([&] { MakeCut(cut, h); });
        if (untilHeard) hooks.heard();
        if (!untilHeard) cutter.join();
        ms[static_cast<int>(cut)] = MsSince(cutStart);
        if (untilHeard) cutter.join();
        caller.join();
        EXPECT_LT(ms[static_cast<int>(cut)], 50.0);
        EXPECT_LT(MsSince(callStart), 1000.0);
    }
    PrintCutRow(name, ms);
}

}  // namespace astrel::test
