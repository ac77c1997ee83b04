// Several threads on the same stage handles, through the C interface on
// simulated controllers: calls on one handle never mix their exchanges, and
// a stop from another thread does not wait behind a call in progress.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
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

// The first of kMakers' models of each maker type.
std::vector<Maker> OnePerMaker() {
    std::vector<Maker> makers;
    for (const Maker& m : kMakers) {
        if (makers.empty() || makers.back().makerType != m.makerType) makers.push_back(m);
    }
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
        size_t queryLines = 0;
        const auto settle = [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            queryLines = stage.Heard().size();
        };
        const StopLatency t = MeasureStop(
            stage.h, settle, [&] { EXPECT_TRUE(stage.WaitHeard(queryLines + 1, 1000)); });
        // The next line is the stop's, not the interrupted query sent again.
        const std::vector<std::string> heard = stage.Heard();
        ASSERT_GT(heard.size(), queryLines);
        EXPECT_NE(heard[queryLines], heard[queryLines - 1]);
        std::printf(
            "%s stop latency: written %.2f ms, at the controller %.2f ms; query ended "
            "after %.0f ms\n",
            m.name, t.writtenMs, t.heardMs, t.queryMs);
        EXPECT_EQ(t.stopResult, 1);
        EXPECT_EQ(t.queryResult, 6);
        EXPECT_LT(t.heardMs, 50.0);
        EXPECT_LT(t.queryMs, 1000.0);
    }
}

struct Counts {
    std::atomic<long> steadyCalls{0}, steadyFailures{0}, moves{0}, misplaced{0};
    std::atomic<long> chaosCalls{0}, chaosFailures{0};
};

// One maker's two stages: a steady one that pollers share with a mover and
// nothing stops, and a chaos one that is jogged, stopped, closed and reopened.
struct MakerRig {
    MakerRig(const Maker& maker, int port)
        : m(maker),
          steady(m.makerType, m.model, 2000, port),
          chaos(m.makerType, m.model, 2000, port + 1) {}
    Maker m;
    SimStage steady;
    SimStage chaos;
};

void Poll(int32_t h, std::atomic<long>& calls, std::atomic<long>& failures) {
    int32_t x = 0, y = 0, z = 0;
    const int32_t status = GetStageStatus(h);
    failures += (status == 0 || status == 1) ? 0 : 1;
    failures += GetStagePosition(h, &x, &y, &z) == 1 ? 0 : 1;
    calls += 2;
}

// Moves the steady stage to one target after another; each must come to rest on it.
void Mover(const MakerRig& rig, Clock::time_point until, Counts& c) {
    const int32_t targets[][3] = {{3000, -2000, 1000}, {-1500, 2500, -500}, {0, 0, 0}};
    for (size_t i = 0; Clock::now() < until; ++i) {
        const int32_t* t = targets[i % 3];
        c.steadyFailures += MoveABS(rig.steady.h, t[0], t[1], t[2]) == 1 ? 0 : 1;
        c.steadyFailures += WaitAtRest(rig.steady.h) == 0 ? 0 : 1;
        int32_t at[3] = {0, 0, 0};
        c.steadyFailures += GetStagePosition(rig.steady.h, &at[0], &at[1], &at[2]) == 1 ? 0 : 1;
        for (int axis = 0; axis < rig.m.axes; ++axis) c.misplaced += at[axis] != t[axis] ? 1 : 0;
        ++c.moves;
    }
}

void Chaos(const MakerRig& rig, int role, Clock::time_point until, Counts& c) {
    const int32_t h = rig.chaos.h;
    for (int i = 0; Clock::now() < until; ++i) {
        if (role == 0) {
            MoveJOG(h, 1, 0, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            i % 2 == 0 ? StopJOG(h) : StopNow(h);
        } else if (role == 1) {
            Poll(h, c.chaosCalls, c.chaosFailures);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            CloseComPort(h);
            OpenComPort(h);
            const auto extra = static_cast<int32_t>(Astrel());
            SetUseStageName(extra, rig.m.model);
            FreeStageName(GetUseStageName(extra));
            ReleaseAstrel(extra);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

// Three makers at a time share the ten handles: on each, two pollers and a
// mover share the steady stage, which must never fail, while three threads
// jog, stop, poll, close, reopen and release on the chaos stage; at the end
// the chaos stages are released while their threads still use them.
TEST_F(Threads, SharedHandlesStayConsistentUnderConcurrentCalls) {
    Counts c;
    const std::vector<Maker> makers = OnePerMaker();
    for (size_t first = 0; first < makers.size(); first += 3) {
        std::vector<std::unique_ptr<MakerRig>> rigs;
        for (size_t i = first; i < std::min(first + 3, makers.size()); ++i) {
            rigs.push_back(
                std::make_unique<MakerRig>(makers[i], static_cast<int>(2 * (i - first))));
        }
        const auto until = Clock::now() + std::chrono::milliseconds(1800);
        std::vector<std::thread> threads;
        for (const auto& rig : rigs) {
            threads.emplace_back(Mover, std::cref(*rig), until, std::ref(c));
            for (int p = 0; p < 2; ++p) {
                threads.emplace_back([&, h = rig->steady.h] {
                    while (Clock::now() < until) Poll(h, c.steadyCalls, c.steadyFailures);
                });
            }
            for (int role = 0; role < 3; ++role) {
                threads.emplace_back(Chaos, std::cref(*rig), role, until, std::ref(c));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        for (const auto& rig : rigs) ReleaseAstrel(rig->chaos.h);
        for (std::thread& t : threads) t.join();
    }
    std::printf(
        "steady: %ld calls, %ld failures, %ld moves, %ld misplaced axes; chaos: %ld calls, "
        "%ld failures (stopped, closed or released)\n",
        c.steadyCalls.load(), c.steadyFailures.load(), c.moves.load(), c.misplaced.load(),
        c.chaosCalls.load(), c.chaosFailures.load());
    EXPECT_EQ(c.steadyFailures, 0);
    EXPECT_EQ(c.misplaced, 0);
    EXPECT_GE(c.moves, static_cast<long>(makers.size()));
}

}  // namespace
}  // namespace astrel::test
