// Several threads on the same stage handles, through the C interface on
// simulated controllers: calls on one handle never mix their exchanges, and
// a stop from another thread does not wait behind a call in progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Makers.h"
#include "SimStage.h"
#include "StageHandles.h"
#include "StopLatency.h"

namespace astrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using Threads = NoHandlesTaken;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The first of kMakers' models of each maker type.
std::vector<Maker> OnePerMaker() {
    std::vector<Maker> makers;
    std::unique_copy(std::begin(kMakers), std::end(kMakers), std::back_inserter(makers),
                     [](const Maker& a, const Maker& b) { return a.makerType == b.makerType; });
    return makers;
}

// Each maker's query waits on a silent controller (5 s time-out) until a
// stop from another thread cuts it short; the stop reaches the controller
// within 50 ms and the query gives no usable reply (6).
TEST_F(Threads, AStopCutsAWaitingQueryShortAndReachesTheControllerAtOnce) {
    for (const Maker& m : OnePerMaker()) {
        SCOPED_TRACE(m.name);
        SimStage stage(m.makerType, m.model, 5000);
        stage.SetFault(sim::Fault::kSilent);
        size_t sent = 0;  // lines of the query
        const auto settle = [&] {
            SleepMs(100);
            sent = stage.Heard().size();
            // The query's reply is lost; the stop gets its acknowledgement.
            stage.SetFault(sim::Fault::kNone);
        };
        const StopLatency t =
            MeasureStop(stage.h, settle, [&] { stage.WaitHeard(sent + 1, 1000); });
        std::printf("%s stop latency: %.2f ms to the controller; the query ended after %.0f ms\n",
                    m.name, t.heardMs, t.queryMs);
        EXPECT_LT(t.heardMs, 50.0);
        // The next line is the stop's, not the interrupted query sent again.
        const std::vector<std::string> heard = stage.Heard();
        ASSERT_GT(heard.size(), sent);
        EXPECT_NE(heard[sent], heard[sent - 1]);
    }
}

// Three makers at a time (ten handles): on each, two pollers and a mover share
// a steady stage that nothing stops, which must never fail and must come to
// rest on every target, while three threads jog, stop, poll, close, reopen and
// release beside it on a chaos stage, which is finally released under use.
TEST_F(Threads, SharedHandlesStayConsistentUnderConcurrentCalls) {
    std::atomic<long> calls{0}, failures{0}, moves{0}, chaosFailures{0};
    // 6 and 7 are failures; 2, 3 and 5 are states of their own (a CP-310 is idle
    // until it first moves).
    const auto poll = [&](int32_t h, std::atomic<long>& failed) {
        int32_t at[3];
        const int32_t status = GetStageStatus(h);
        failed += (status >= 6) + (GetStagePosition(h, &at[0], &at[1], &at[2]) != 1);
        calls += 2;
    };
    const std::vector<Maker> makers = OnePerMaker();
    for (size_t first = 0; first < makers.size(); first += 3) {
        std::vector<std::unique_ptr<SimStage>> stages;  // each maker's steady and chaos stage
        std::vector<std::thread> threads;
        const auto until = Clock::now() + std::chrono::milliseconds(1800);
        const auto loop = [&](auto step) {
            threads.emplace_back([step, &until]() mutable {
                for (int n = 0; Clock::now() < until; ++n) step(n);
            });
        };
        for (size_t i = first; i < std::min(first + 3, makers.size()); ++i) {
            const Maker m = makers[i];
            const auto open = [&](size_t port) {
                const auto p = static_cast<int>(port);
                return stages
                    .emplace_back(std::make_unique<SimStage>(m.makerType, m.model, 2000, p))
                    ->h;
            };
            const int32_t steady = open(2 * (i - first)), chaos = open(2 * (i - first) + 1);
            loop([&, steady](int) { poll(steady, failures); });
            loop([&, steady](int) { poll(steady, failures); });
            loop([&, steady, m](int n) {
                const int32_t to[3] = {n % 2 ? 3000 : -1500, n % 2 ? -2000 : 2500,
                                       n % 2 ? 1000 : -500};
                int32_t at[3] = {};
                failures += (MoveABS(steady, to[0], to[1], to[2]) != 1) +
                            (WaitAtRest(steady) != 0) +
                            (GetStagePosition(steady, &at[0], &at[1], &at[2]) != 1);
                for (int axis = 0; axis < m.axes; ++axis) failures += at[axis] != to[axis];
                ++moves;
            });
            loop([chaos](int n) {
                MoveJOG(chaos, 1, 0, 0);
                SleepMs(15);
                n % 2 ? StopJOG(chaos) : StopNow(chaos);
            });
            loop([&, chaos](int) {
                poll(chaos, chaosFailures);
                SleepMs(1);
            });
            loop([chaos, m](int) {
                CloseComPort(chaos);
                OpenComPort(chaos);
                const auto extra = static_cast<int32_t>(Astrel());
                SetUseStageName(extra, m.model);
                FreeStageName(GetUseStageName(extra));
                ReleaseAstrel(extra);
                SleepMs(5);
            });
        }
        SleepMs(1500);
        for (size_t chaos = 1; chaos < stages.size(); chaos += 2) ReleaseAstrel(stages[chaos]->h);
        for (std::thread& t : threads) t.join();
    }
    std::printf(
        "%ld calls (%ld on chaos stages failed: stopped, closed or released), %ld moves, "
        "%ld failures on steady stages\n",
        calls.load(), chaosFailures.load(), moves.load(), failures.load());
    EXPECT_EQ(failures, 0);
    EXPECT_GE(moves, static_cast<long>(makers.size()));
}

}  // namespace
}  // namespace astrel::test
