// A stage handle opened through the library's C interface on a simulated
// controller: what the end-to-end and contract tests drive.
#pragma once

#include <cstdint>

#include "SimController.h"

namespace astrel::test {

// A handle of maker `makerType` and model `model`, opened with the driver's
// line defaults and `timeOutMs` on a simulated controller (over TCP with
// `overTcp`); released at the end.
class SimStage : public SimController {
  public:
    SimStage(int16_t makerType, const char* model, int32_t timeOutMs = 300, int portIndex = 0,
             bool overTcp = false);
    ~SimStage();
    SimStage(const SimStage&) = delete;
    SimStage& operator=(const SimStage&) = delete;

    // Polls GetStageStatus while it reports motion (1), at most `ms`, and
    // returns the last status: 0 at rest, 1 still moving, or another code.
    int32_t WaitAtRest(int ms = 5000);

    int32_t h;
};

}  // namespace astrel::test
