#include "SimStage.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "Astrel.h"

namespace astrel::test {

int32_t QtHandle(uint16_t portIndex) {
    const auto h = static_cast<int32_t>(Astrel());
    SetUseStageName(h, "QT3");
    SetCommunicationParams(h, portIndex, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    return h;
}

SimStage::SimStage(int16_t makerType, const char* model, int32_t timeOutMs, int portIndex)
    : SimController(static_cast<uint16_t>(makerType), model, portIndex),
      h(static_cast<int32_t>(Astrel())) {
    SetUseMakerType(h, makerType);
    SetUseStageName(h, model);
    const auto port = static_cast<uint16_t>(portIndex);
    const CommunicationParam param{port, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, timeOutMs};
    SetCommunicationParam(h, &param);
    if (OpenComPort(h) != 1) throw std::runtime_error("the simulated stage did not open");
}

SimStage::~SimStage() {
    ReleaseAstrel(h);
}

int32_t SimStage::WaitAtRest(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int32_t status = GetStageStatus(h);
        if (status != 1 || std::chrono::steady_clock::now() >= until) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace astrel::test
