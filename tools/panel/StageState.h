// What the panel knows about its stage, as the poller and the commands left
// it, and its JSON for the page: the position, the status with its lights,
// the target, the last failure in words and the last message.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "Stage.h"

namespace astrel::tool {

struct StageState {
    using Clock = std::chrono::steady_clock;

    bool connected = false;
    int16_t makerType = 0;
    std::string maker;  // UTF-8
    std::string model;
    std::string device;
    // Bumped when the stage or its origin changes: the path so far no longer applies.
    uint64_t epoch = 0;

    std::optional<Xyz> position;
    bool stale = false;   // the last reading of the position failed
    int32_t status = -1;  // GetStageStatus; -1 before the first reading
    std::string pollError;
    uint64_t polls = 0;

    int axes = 3;  // the model's axes, X first
    // The axes the last motion drove, and once the stage rests after it,
    // whether one of them stopped at a limit (unknown until then).
    std::array<bool, 3> drove{};
    bool sawMoving = false;  // since the last motion was sent
    std::optional<bool> atLimit;

    std::optional<Xyz> target;
    bool jogging = false;
    Clock::time_point holdUntil{};
    Clock::time_point fastUntil{};

    uint64_t messages = 0;  // counts the messages, so the page sees a new one
    std::string message;
    bool messageIsError = false;

    bool Moving() const { return status == 1; }
    std::string Json() const;
};

}  // namespace astrel::tool
