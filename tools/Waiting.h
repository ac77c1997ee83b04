// Waiting for a moving stage: polls whether any axis moves, shows the
// progress, and on SIGINT or SIGTERM sends a stop before the tool ends, so
// the tool never leaves a stage moving because of a signal it could catch.
// Once the stage rests, its status and the limits of the axes the motion
// drove give the verdict (Motion.h).
#pragma once

#include <optional>

#include "Interrupt.h"
#include "Motion.h"
#include "Progress.h"
#include "Stage.h"

namespace astrel::tool {

struct WaitResult {
    bool stillMoving;  // the time ran out first
    int32_t status;    // 1 while moving; once at rest the status read then; 6 no usable reply
    Xyz position;      // the last position read
};

// Polls until the stage no longer moves or `limitMs` has passed. `target`,
// when known, gives the distance left. Throws Interrupted after sending a
// stop when a signal arrives.
WaitResult WaitWhileMoving(const Stage& stage, InterruptWatch& watch, Progress& progress,
                           const std::optional<Xyz>& target, int limitMs);

// Waits for rest as above; still moving after `limitMs` sends a stop and
// ends the run, and so does any end other than at rest for the axes the
// motion drove (`driven`).
Xyz WaitForRest(const Stage& stage, InterruptWatch& watch, Progress& progress,
                const std::optional<Xyz>& target, int limitMs, const Axes& driven);

// Ends the run with the exit code a final status calls for: no usable reply,
// one of the `driven` axes at a limit (an axis the motion did not drive
// resting on a switch does not count), or a controller error.
void RequireAtRest(const Stage& stage, int32_t status, const Axes& driven);

}  // namespace astrel::tool
