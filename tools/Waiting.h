// Waiting for a moving stage: polls its status (the query every maker
// answers), shows the progress, and on SIGINT or SIGTERM sends a stop before
// the tool ends, so the tool never leaves a stage moving because of a signal
// it could catch.
#pragma once

#include <optional>

#include "Interrupt.h"
#include "Progress.h"
#include "Stage.h"

namespace astrel::tool {

struct WaitResult {
    bool stillMoving;  // the time ran out first
    int32_t status;    // the last status read
    Xyz position;      // the last position read
};

// Polls until the stage no longer moves or `limitMs` has passed. `target`,
// when known, gives the distance left. Throws Interrupted after sending a
// stop when a signal arrives.
WaitResult WaitWhileMoving(const Stage& stage, InterruptWatch& watch, Progress& progress,
                           const std::optional<Xyz>& target, int limitMs);

// Waits for rest as above; still moving after `limitMs` sends a stop and
// ends the run, and so does any end other than at rest.
Xyz WaitForRest(const Stage& stage, InterruptWatch& watch, Progress& progress,
                const std::optional<Xyz>& target, int limitMs);

// Ends the run with the exit code a final status calls for, unless it is 0.
void RequireAtRest(const Stage& stage, int32_t status);

}  // namespace astrel::tool
