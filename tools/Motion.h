// How the tool reads a stage's motion, the same way in every command and in
// the panel: whether it moves from IsStageRunningEx (any axis moving, never
// the one axis a status code speaks for), and once it rests, "at a limit"
// only for the axes the motion drove, from IsStopByLimitEx.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "Stage.h"

namespace astrel::tool {

// The axes a motion drives: X, Y, Z.
using Axes = std::array<bool, 3>;
inline constexpr Axes kEveryAxis{true, true, true};

// The axes whose value is not 0 (a relative move's distances, a jog's directions).
Axes NonZero(const Xyz& xyz);

// The stage's status with motion read from IsStageRunningEx: 1 while any axis
// moves, 6 when the controller could not be asked, and only at rest the
// status code, which then says how the motion ended.
int32_t MotionStatus(const Stage& stage);

// Whether one of `axes` stopped at a limit; an axis the stage does not have
// counts as not. nullopt, with the library's words in `why`, when the
// controller could not be asked.
std::optional<bool> AtLimitOn(const Stage& stage, const Axes& axes, std::string& why);

}  // namespace astrel::tool
