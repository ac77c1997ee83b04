// Several threads on the same stage handles, through the C interface on
// simulated controllers: calls on one handle never mix their exchanges, and
// a stop, a close or a release from another thread waits neither behind the
// call in progress nor behind the calls queued for the handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CutShort.h"
#include "Makers.h"
#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Threads = NoHandlesTaken;

// The first of kMakers' models of each maker type.
std::vector<Maker> OnePerMaker() {
    std::vector<Maker> makers;
    std::unique_copy(std::begin(kMakers), std::end(kMakers), std::back_inserter(makers),
                     [](const Maker& a, const Maker& b) { return a.makerType == b.makerType; });
    return makers;
}

// Each maker's query that waits on a silent controller and on one that
// answers late, QT's pause in a direction change, and a Sigma jog that
// waits for a stage still coming to rest: a stop, a close and a release from
// another thread each end the wait at once (5 s time-out), and the
// controller hears the stop within 50 ms.
TEST_F(Threads, AStopCloseOrReleaseCutsEveryWaitShort) {
    // Cuts `call` short on a stage of `maker` with `fault`, printed as `name`.
    const auto cutRow = [](const std::string& name, const Maker& maker, sim::Fault fault,
                           bool (*call)(int32_t h)) {
        SCOPED_TRACE(name);
        SimStage stage(maker.makerType, maker.model, 5000);
        if (name.starts_with("SHOT")) {
            // X jogs for 60 simulated seconds, ramping up all the while, so
            // that it takes a minute to come to rest.
            stage.With([](sim::Simulator& s) {
                s.GetDialect().Motion().SetSpeeds(0, {0, 20000, 60000});
                s.GetDialect().Motion().SetTimeScale(1000);
            });
            ASSERT_EQ(MoveJOG(stage.h, 1, 0, 0), 1);
            std::this_thread::sleep_for(60ms);
            stage.With([](sim::Simulator& s) { s.GetDialect().Motion().SetTimeScale(1); });
        }
        size_t sent = 0;  // lines the controller had heard when the cut came
        std::string last;
        const auto settle = [&] {
            std::this_thread::sleep_for(100ms);
            const std::vector<std::string> heard = stage.Heard();
            sent = heard.size();
            last = heard.empty() ? "" : heard.back();
            stage.SetFault(sim::Fault::kNone);  // the stop's acknowledgement comes
        };
        const auto waiting = [&] {
            stage.SetFault(fault);
            return call(stage.h);
        };
        CutEachWay(stage.h, name, waiting,
                   {settle, [&] { EXPECT_TRUE(stage.WaitHeardOther(sent, last, 1000)); }});
    };
    // Each gives whether it ended as a call cut short does.
    const auto query = [](int32_t h) { return GetStageStatus(h) == 6; };
    for (const Maker& m : OnePerMaker()) {
        cutRow(std::string(m.name) + " query, silent", m, sim::Fault::kSilent, query);
        cutRow(std::string(m.name) + " query, answering late", m, sim::Fault::kDelayed, query);
    }
    cutRow("QT direction change pause", kMakers[0], sim::Fault::kNone,
           [](int32_t h) { return StgSetStageDirection(h, 1, -1) == 0; });
    cutRow("SHOT-202 jog waiting for rest", kMakers[5], sim::Fault::kNone,
           [](int32_t h) { return MoveJOG(h, -1, 0, 0) == 0; });
}

// An open that connects to a network serial server holds no other call back:
// a stop finds the port closed at once, a close and a release end at once,
// and the open then gives up, after 3 s (the least it waits).
TEST_F(Threads, AnOpenConnectingHoldsNoStopCloseOrReleaseBack) {
    const UnansweringServer server;
    PointPort(3, server.Path());
    CutAConnectingOpen(QtHandle(3, 300), "network open, connecting");
}

// Four pollers queue on a handle whose controller answers 300 ms late: each
// stop cuts the exchange in progress short and goes before every poller
// waiting, so the controller hears it at once, three times in a row. Then
// the handle is released under them.
TEST_F(Threads, AStopGoesBeforeThePollersQueuedBehindASlowController) {
    SimStage stage(0, "QT3", 2000);
    stage.With([](sim::Simulator& s) { s.SetFault({sim::Fault::kDelayed, 300}); });
    std::atomic<bool> polling{true};
    std::vector<std::thread> pollers;
    for (int i = 0; i < 4; ++i) {
        pollers.emplace_back([&] {
            while (polling) GetStageStatus(stage.h);
        });
    }
    for (int round = 0; round < 3; ++round) {
        std::this_thread::sleep_for(150ms);
        const size_t sent = stage.Heard().size();
        const auto cutStart = std::chrono::steady_clock::now();
        ASSERT_EQ(StopMove(stage.h), 1);
        EXPECT_TRUE(stage.WaitHeardOther(sent, "Q:A0B0C0", 1000));
        const double ms = MsSince(cutStart);
        std::printf("stop before 4 queued pollers: heard after %.2f ms\n", ms);
        EXPECT_LT(ms, 50.0);
    }
    // Released while four calls wait for it: each finds no stage, and nothing
    // the release frees is touched by them (the sanitizer builds watch).
    ReleaseAstrel(stage.h);
    polling = false;
    for (std::thread& t : pollers) t.join();
}

// Every maker at once: on each maker's stage two pollers share the handle,
// whose exchanges must never mix (so never fail), while another thread
// takes, names and releases handles beside them. (A stop, a close and a
// release amid a call: the tests above; a move that rests on its target: the
// contracts.)
TEST_F(Threads, SharedHandlesStayConsistentUnderConcurrentCalls) {
    std::atomic<long> calls{0}, failures{0};
    const std::vector<Maker> makers = OnePerMaker();
    std::vector<std::unique_ptr<SimStage>> stages;
    std::vector<std::thread> threads;
    const auto until = Clock::now() + std::chrono::milliseconds(2000);
    const auto loop = [&](auto step) {
        threads.emplace_back([step, &until] {
            while (Clock::now() < until) step();
        });
    };
    for (size_t i = 0; i < makers.size(); ++i) {
        const auto port = static_cast<int>(i);
        const int32_t h = stages
                              .emplace_back(std::make_unique<SimStage>(makers[i].makerType,
                                                                       makers[i].model, 2000, port))
                              ->h;
        // 6 and 7 are failures; 2, 3 and 5 are states of their own (a CP-310
        // is idle until it first moves).
        for (int poller = 0; poller < 2; ++poller) {
            loop([&, h] {
                int32_t at[3];
                failures +=
                    (GetStageStatus(h) >= 6) + (GetStagePosition(h, &at[0], &at[1], &at[2]) != 1);
                calls += 2;
            });
        }
    }
    loop([] {
        const auto extra = static_cast<int32_t>(Astrel());
        SetUseStageName(extra, "QT3");
        FreeStageName(GetUseStageName(extra));
        ReleaseAstrel(extra);
        std::this_thread::sleep_for(5ms);
    });
    for (std::thread& t : threads) t.join();
    std::printf("%ld calls, %ld failures\n", calls.load(), failures.load());
    EXPECT_EQ(failures, 0);
    EXPECT_GT(calls, 0);
}

}  // namespace
}  // namespace astrel::test
