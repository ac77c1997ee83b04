// A stage handle opened through the library's C interface on a simulated
// controller: what the end-to-end and contract tests drive.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "Astrel.h"
#include "SimController.h"
#include "StageHandles.h"

namespace astrel::test {

// A handle of maker `makerType` and model `model`, opened with the driver's
// line defaults and `timeOutMs` on a simulated controller (over TCP with
// `overTcp`); released at the end.
class SimStage : public SimController {
  public:
    SimStage(int16_t makerType, const char* model, int32_t timeOutMs = 300, int portIndex = 0,
             bool overTcp = false)
        : SimController(static_cast<uint16_t>(makerType), model, portIndex, overTcp),
          h(StageHandle(makerType, model, static_cast<uint16_t>(portIndex), timeOutMs)) {
        if (OpenComPort(h) != 1) throw std::runtime_error("the simulated stage did not open");
    }
    ~SimStage() { ReleaseAstrel(h); }

    const int32_t h;
};

}  // namespace astrel::test
