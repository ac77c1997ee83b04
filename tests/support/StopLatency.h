// A stop sent from another thread while a query on the same handle waits for
// a reply that never comes: how long the stop takes, and how the query ends.
// Through the C interface only, for the end-to-end tests of every system.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "Astrel.h"

namespace astrel::test {

struct StopLatency {
    double writtenMs;     // from the StopMove call until it returned, its bytes written
    double heardMs;       // from the StopMove call until `heard` returned
    double queryMs;       // how long the interrupted query took in all
    int32_t stopResult;   // StopMove's result
    int32_t queryResult;  // GetStageStatus's result
};

// Starts GetStageStatus on `h` in a thread, sends StopMove from this one once
// `settle` has returned (the query is waiting by then), and calls `heard`
// (which returns once the controller has the stop) before the query is joined.
template <typename Settle, typename Heard>
StopLatency MeasureStop(int32_t h, Settle settle, Heard heard) {
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    StopLatency result{};
    const auto queryStart = Clock::now();
    std::thread query([&] {
        result.queryResult = GetStageStatus(h);
        result.queryMs = ms(Clock::now() - queryStart);
    });
    settle();
    const auto stopStart = Clock::now();
    result.stopResult = StopMove(h);
    result.writtenMs = ms(Clock::now() - stopStart);
    heard();
    result.heardMs = ms(Clock::now() - stopStart);
    query.join();
    return result;
}

}  // namespace astrel::test
