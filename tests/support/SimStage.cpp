#include "SimStage.h"

#include <stdexcept>

#include "Astrel.h"
#include "StageHandles.h"

namespace astrel::test {

SimStage::SimStage(int16_t makerType, const char* model, int32_t timeOutMs, int portIndex,
                   bool overTcp)
    : SimController(static_cast<uint16_t>(makerType), model, portIndex, overTcp),
      h(StageHandle(makerType, model, static_cast<uint16_t>(portIndex), timeOutMs)) {
    if (OpenComPort(h) != 1) throw std::runtime_error("the simulated stage did not open");
}

SimStage::~SimStage() {
    ReleaseAstrel(h);
}

}  // namespace astrel::test
