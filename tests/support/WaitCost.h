// What a call that waits costs the calling thread: the time it took and the
// processor time it used. Shared by the test that holds the wait to next to
// no processor time and the bench that reports it.
#pragma once

#include <time.h>

#include <chrono>

namespace astrel::test {

struct WaitCost {
    double wallMs;
    double processorMs;
};

template <class Call>
WaitCost MeasureWaitCost(Call call) {
    const auto processorMs = [] {
        timespec ts{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    const auto start = std::chrono::steady_clock::now();
    const double processorBefore = processorMs();
    call();
    const double processor = processorMs() - processorBefore;
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
        processor};
}

}  // namespace astrel::test
