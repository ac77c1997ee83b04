// Times status queries through the C interface on a simulated QT3 controller
// over a pseudo-terminal: what an exchange costs the library.
//   astrel_status_bench [count]   (default 10000)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Astrel.h"
#include "SimStage.h"

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    astrel::test::SimStage stage(0, "QT3", 1000);
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        if (GetStageStatus(stage.h) != 0) ++failures;
    }
    const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
    std::printf("%d status queries: %.0f ms, %.1f us each, %d failed\n", count, ms.count(),
                1000.0 * ms.count() / count, failures);
    return failures == 0 ? 0 : 1;
}
