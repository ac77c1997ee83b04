#include "Jog.h"

#include "Astrel.h"

namespace astrel::tool {

namespace {

constexpr int16_t kPriorMakerType = 1;

}  // namespace

int JogSign(int16_t makerType) {
    // The ProScan jogs to a far target of the direction times 0x8FFFFFFF,
    // which wraps to minus for +1.
    return makerType == kPriorMakerType ? -1 : 1;
}

int32_t StartJog(const Stage& stage, const Xyz& directions) {
    const int sign = JogSign(stage.MakerType());
    const auto d = [&](size_t axis) { return static_cast<int16_t>(directions[axis] * sign); };
    return MoveJOG(stage.Handle(), d(0), d(1), d(2));
}

}  // namespace astrel::tool
