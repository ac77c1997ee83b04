#include "Motion.h"

#include "Astrel.h"

namespace astrel::tool {

Axes NonZero(const Xyz& xyz) {
    return {xyz[0] != 0, xyz[1] != 0, xyz[2] != 0};
}

int32_t MotionStatus(const Stage& stage) {
    int32_t running = 0;
    if (IsStageRunningEx(stage.Handle(), &running) != 1) return 6;
    return running != 0 ? 1 : stage.Status();
}

std::optional<bool> AtLimitOn(const Stage& stage, const Axes& axes, std::string& why) {
    bool atLimit = false;
    for (size_t axis = 0; axis < axes.size(); ++axis) {
        if (!axes[axis]) continue;
        int32_t stopped = 0;
        if (IsStopByLimitEx(stage.Handle(), static_cast<uint16_t>(axis), &stopped) == 1) {
            atLimit = atLimit || stopped != 0;
        } else if (AstrelLastError() != ASTREL_ERROR_BAD_ARGUMENT) {  // not a missing axis
            why = "reading the limits: " + LastError();
            return std::nullopt;
        }
    }
    return atLimit;
}

}  // namespace astrel::tool
