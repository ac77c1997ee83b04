#include "Waiting.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "Astrel.h"
#include "StatusText.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

constexpr int kPollMs = 50;

int64_t DistanceLeft(const Xyz& target, const Xyz& position) {
    int64_t left = 0;
    for (size_t axis = 0; axis < target.size(); ++axis) {
        left = std::max(left, std::abs(int64_t{target[axis]} - position[axis]));
    }
    return left;
}

[[noreturn]] void StopAndEnd(const Stage& stage, Progress& progress, int signal) {
    const bool stopped = StopMove(stage.Handle()) == 1;
    progress.Finish();
    throw Interrupted(signal,
                      stopped ? "interrupted: the stage was sent a stop"
                              : "interrupted: sending the stop to " + stage.Device() + " failed");
}

}  // namespace

WaitResult WaitWhileMoving(const Stage& stage, InterruptWatch& watch, Progress& progress,
                           const std::optional<Xyz>& target, int limitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    WaitResult result{false, 1, {}};
    // A signal stops the stage from the watch's thread, which also cuts short
    // the query this thread may be waiting in; the checks after each query
    // then end the wait.
    const InterruptWatch::Stopping stopping(watch, stage.Handle());
    const auto checkSignal = [&] {
        if (const int signal = watch.Received()) StopAndEnd(stage, progress, signal);
    };
    for (;;) {
        checkSignal();
        result.status = MotionStatus(stage);
        checkSignal();
        Xyz position{};
        if (GetStagePosition(stage.Handle(), &position[0], &position[1], &position[2]) == 1) {
            result.position = position;
        }
        checkSignal();
        std::optional<int64_t> left;
        if (target) left = DistanceLeft(*target, result.position);
        progress.Show(result.position, left, StatusMeaning(stage.MakerType(), result.status));
        if (result.status != 1) break;
        if (std::chrono::steady_clock::now() >= until) {
            result.stillMoving = true;
            break;
        }
        if (!watch.Sleep(kPollMs)) StopAndEnd(stage, progress, watch.Received());
    }
    progress.Finish();
    return result;
}

Xyz WaitForRest(const Stage& stage, InterruptWatch& watch, Progress& progress,
                const std::optional<Xyz>& target, int limitMs, const Axes& driven) {
    const WaitResult result = WaitWhileMoving(stage, watch, progress, target, limitMs);
    if (result.stillMoving) {
        const bool stopped = StopMove(stage.Handle()) == 1;
        throw ToolError(Exit::kStillMoving, "still moving after " + std::to_string(limitMs) +
                                                " ms; " +
                                                (stopped ? "a stop was sent" : "the stop failed"));
    }
    RequireAtRest(stage, result.status, driven);
    return result.position;
}

void RequireAtRest(const Stage& stage, int32_t status, const Axes& driven) {
    if (status == 6) throw ToolError(Exit::kNoReply, "waiting for the stage: " + LastError());
    std::string why;
    const std::optional<bool> atLimit = AtLimitOn(stage, driven, why);
    if (!atLimit) throw ToolError(Exit::kNoReply, why);
    if (*atLimit) throw ToolError(Exit::kAtLimit, "the stage stopped at a travel limit");
    // 4 without a driven axis at a limit: another axis rests on its switch.
    if (status == 0 || status == 4) return;
    throw ToolError(Exit::kControllerError, "the stage stopped with status " +
                                                std::to_string(status) + ": " +
                                                StatusMeaning(stage.MakerType(), status));
}

}  // namespace astrel::tool
