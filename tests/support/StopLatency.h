// A stop sent from another thread while a query on the same handle waits for
// a reply that never comes: how long the stop takes, and how the query ends.
// Through the C interface only, for the end-to-end tests of every system.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace astrel::test {

struct StopLatency {
    double writtenMs;  // from the StopMove call until it returned, its bytes written
    double heardMs;    // from the StopMove call until `heard` returned
    double queryMs;    // how long the interrupted query took in all
};

// Starts GetStageStatus on `h` in a thread, sends StopMove from this one once
// `settle` has returned (the query is waiting by then), and calls `heard`
// (which returns once the controller has the stop) before the query is joined.
// The stop must succeed, and the query end at once with no usable reply (6),
// its last error saying that a stop interrupted it.
template <typename Settle, typename Heard>
StopLatency MeasureStop(int32_t h, Settle settle, Heard heard) {
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    StopLatency result{};
    const auto queryStart = Clock::now();
    std::thread query([&] {
        EXPECT_EQ(GetStageStatus(h), 6);
        char text[256] = {};
        AstrelLastErrorText(text, sizeof text);
        EXPECT_EQ(AstrelLastError(), ASTREL_ERROR_INTERRUPTED) << text;
        EXPECT_NE(std::string(text).find("interrupted by another thread's stop"),
                  std::string::npos);
        result.queryMs = ms(Clock::now() - queryStart);
    });
    settle();
    const auto stopStart = Clock::now();
    EXPECT_EQ(StopMove(h), 1);
    result.writtenMs = ms(Clock::now() - stopStart);
    heard();
    result.heardMs = ms(Clock::now() - stopStart);
    query.join();
    EXPECT_LT(result.queryMs, 1000.0);
    return result;
}

}  // namespace astrel::test
