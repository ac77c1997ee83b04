// A host that returns from main while a thread of its own polls a QT3
// controller that never answers (5 s time-out): its process must end at
// once all the same. The port index is the first argument (default 0).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Astrel.h"

int main(int argc, char** argv) {
    const auto port = static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0);
    const auto h = static_cast<int32_t>(Astrel());
    SetUseStageName(h, "QT3");
    SetCommunicationParams(h, port, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    if (OpenComPort(h) != 1) return 2;
    std::thread([h] {
        for (;;) GetStageStatus(h);
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the poller waits by now
    std::puts("returning from main");
    std::fflush(stdout);
    return 0;
}
