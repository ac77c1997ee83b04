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

// Starts `call()` in a thread of its own and, once `settle()` has returned
// (the call waits by then), makes `cut` on `h`. Returns the milliseconds from
// the cut's start until it returned or, for a stop when `heard` is given,
// until `heard()` returned: it does once the controller has the stop (a stop
// that waits for the controller's acknowledgement returns later). The call
// must end as a call cut short does (`call` gives whether it did, with the
// last error "interrupted"), within a second.
template <typename Call, typename Settle>
double CutShort(int32_t h, Cut cut, Call call, Settle settle,
                const std::function<void()>& heard = {}) {
    const auto callStart = std::chrono::steady_clock::now();
    std::thread caller([&] {
        EXPECT_TRUE(call());
        char text[256] = {};
        AstrelLastErrorText(text, sizeof text);
        EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_INTERRUPTED) << text;
    });
    settle();
    const bool untilHeard = cut == Cut::kStop && heard;
    const auto cutStart = std::chrono::steady_clock::now();
    std::thread cutter([&] { MakeCut(cut, h); });
    if (untilHeard) {
        heard();
    } else {
        cutter.join();
    }
    const double ms = MsSince(cutStart);
    if (untilHeard) cutter.join();
    caller.join();
    EXPECT_LT(MsSince(callStart), 1000.0);
    return ms;
}

// One row of the table of cuts: a name, then each cut's milliseconds.
inline void PrintCutRow(const std::string& name, const double (&ms)[3]) {
    std::printf("%-36s stop %7.2f ms  close %7.2f ms  release %7.2f ms\n", name.c_str(), ms[0],
                ms[1], ms[2]);
}

}  // namespace astrel::test
