#include "PanelStage.h"

#include <utility>

#include "Astrel.h"
#include "Jog.h"
#include "Makers.h"
#include "Motion.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

using Clock = StageState::Clock;

// How long a poll stays fast after a motion was sent, so that the start of
// the motion is seen even before the controller reports it.
constexpr std::chrono::milliseconds kFastAfterCommand{1000};
// How long closing a stage waits for calls still in progress on it; a stop
// cuts every wait for a reply short, so they end well within this.
constexpr std::chrono::seconds kCloseWait{10};

}  // namespace

PanelStage::PanelStage(Updates& updates) : updates_(updates) {
    poller_ = std::thread([this] { Poll(); });
    jogWatch_ = std::thread([this] { WatchJog(); });
}

PanelStage::~PanelStage() {
    Disconnect();
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    poller_.join();
    jogWatch_.join();
}

std::pair<std::shared_ptr<Stage>, uint64_t> PanelStage::Current() const {
    const std::lock_guard lock(mutex_);
    return {stage_, state_.epoch};
}

Outcome PanelStage::Connect(const Connection& connection) {
    const std::lock_guard connecting(connecting_);
    std::unique_lock lock(mutex_);
    Close(lock);
    lock.unlock();
    speeds_.Forget();
    std::shared_ptr<Stage> stage;
    try {
        stage.reset(new Stage(connection), [this](Stage* closing) {
            delete closing;
            {
                const std::lock_guard closedLock(mutex_);
                ++closed_;
            }
            wake_.notify_all();
        });
    } catch (const ToolError& error) {
        Tell(error.what(), true);
        return {false, error.what()};
    }
    StageState state;
    state.connected = true;
    state.makerType = connection.makerType;
    state.maker = MakerName(connection.makerType);
    state.model = connection.model;
    for (const ModelEntry& model : KnownModels(connection.makerType)) {
        if (AsciiLower(model.name) == AsciiLower(connection.model)) state.axes = model.axes;
    }
    state.device = stage->Device();
    const std::string connected =
        "connected to the " + state.maker + " " + state.model + " on " + state.device;
    lock.lock();
    ++opened_;
    state.epoch = state_.epoch + 1;
    state.messages = state_.messages;
    state_ = std::move(state);
    stage_ = std::move(stage);
    Kick(lock);
    Tell(connected, false);
    return {};
}

void PanelStage::Disconnect() {
    const std::lock_guard connecting(connecting_);
    std::unique_lock lock(mutex_);
    if (stage_ == nullptr) return;
    Close(lock);
    lock.unlock();
    Tell("disconnected", false);
}

void PanelStage::Close(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<Stage> old = std::move(stage_);
    state_.connected = false;
    state_.jogging = false;
    ++state_.epoch;
    if (old == nullptr) return;
    lock.unlock();
    // Cuts short a poll waiting for a reply, and leaves no stage moving.
    StopMove(old->Handle());
    old.reset();
    lock.lock();
    wake_.wait_for(lock, kCloseWait, [this] { return closed_ == opened_; });
    updates_.Notify();
}

Outcome PanelStage::Command(const std::string& step, int32_t (*send)(int32_t)) {
    return Command(step, [send](const Stage& stage) { return send(stage.Handle()); });
}

Outcome PanelStage::Command(const std::string& step,
                            const std::function<int32_t(const Stage&)>& send) {
    auto [stage, epoch] = Current();
    if (stage == nullptr) return {false, "no stage is connected"};
    const int32_t result = send(*stage);
    stage.reset();
    if (result == 1) return {true, {}, epoch};
    const std::string why =
        step + ": " + (result == 0 ? LastError() : "the driver answered " + std::to_string(result));
    Tell(why, true);
    return {false, why};
}

bool PanelStage::Applies(const Outcome& outcome) const {
    // A stage connected (or its origin set) meanwhile has other coordinates.
    return outcome.ok && outcome.epoch == state_.epoch;
}

Outcome PanelStage::MoveTo(const Xyz& xyz) {
    Outcome outcome = Command(
        "moving", [&](const Stage& s) { return MoveABS(s.Handle(), xyz[0], xyz[1], xyz[2]); });
    std::unique_lock lock(mutex_);
    if (Applies(outcome)) {
        state_.target = xyz;
        Drove(kEveryAxis);
    }
    Kick(lock);
    return outcome;
}

Outcome PanelStage::MoveBy(const Xyz& distance) {
    Outcome outcome = Command("moving by", [&](const Stage& s) {
        return MoveREL(s.Handle(), distance[0], distance[1], distance[2]);
    });
    std::unique_lock lock(mutex_);
    if (Applies(outcome) && state_.position) {
        Xyz target = *state_.position;
        for (size_t axis = 0; axis < target.size(); ++axis) {
            // Wraps as the controller's counter does, without signed overflow.
            target[axis] = static_cast<int32_t>(static_cast<uint32_t>(target[axis]) +
                                                static_cast<uint32_t>(distance[axis]));
        }
        state_.target = target;
    }
    if (Applies(outcome)) Drove(NonZero(distance));
    Kick(lock);
    return outcome;
}

Outcome PanelStage::Jog(const Xyz& directions, std::optional<int32_t> speed) {
    if (speed) {
        const auto [settings, missing] = speeds_.ForJog(directions, *speed, true);
        if (!missing.empty()) return {false, missing};
        for (const AxisSpeeds::Setting& setting : settings) {
            const Outcome set = SetSpeeds("setting the jog speed", setting);
            if (!set.ok) return set;
        }
    }
    Outcome outcome = Command("starting the jog",
                              [&](const Stage& stage) { return StartJog(stage, directions); });
    std::unique_lock lock(mutex_);
    if (Applies(outcome)) {
        Drove(NonZero(directions));
        state_.jogging = true;
        state_.target.reset();
        state_.holdUntil = Clock::now() + kHoldFor;
    }
    Kick(lock);
    return outcome;
}

Outcome PanelStage::Hold() {
    {
        const std::lock_guard lock(mutex_);
        if (!state_.jogging) return {false, "no jog to hold"};
        state_.holdUntil = Clock::now() + kHoldFor;
    }
    wake_.notify_all();
    return {};
}

Outcome PanelStage::EndJog() {
    {
        const std::lock_guard lock(mutex_);
        state_.jogging = false;
    }
    wake_.notify_all();
    Outcome outcome = Command("stopping the jog", StopJOG);
    SpeedsBack();
    return outcome;
}

Outcome PanelStage::Stop() {
    {
        const std::lock_guard lock(mutex_);
        state_.jogging = false;
    }
    wake_.notify_all();
    Outcome outcome = Command("stopping", StopMove);
    SpeedsBack();
    return outcome;
}

void PanelStage::SpeedsBack() {
    for (const AxisSpeeds::Setting& setting : speeds_.TakeBack()) {
        SetSpeeds("setting the speeds back after the jog", setting);
    }
}

Outcome PanelStage::SetSpeeds(const std::string& step, const AxisSpeeds::Setting& setting) {
    const auto axis = static_cast<uint16_t>(setting.first);
    const Speeds& s = setting.second;
    return Command(step, [&](const Stage& stage) {
        return SetMoveSpeeds(stage.Handle(), axis, s.start, s.max, s.accel);
    });
}

std::string PanelStage::JogSpeedError(const Xyz& directions, int32_t speed) {
    const auto [settings, missing] = speeds_.ForJog(directions, speed, false);
    if (!missing.empty()) return missing;
    for (const auto& [axis, s] : settings) {
        const std::string outside = SpeedRangeError(s.start, s.max, s.accel);
        if (!outside.empty()) return outside;
    }
    return {};
}

Outcome PanelStage::Home() {
    Outcome outcome = Command("returning to the origin", MoveOriginPosition);
    std::unique_lock lock(mutex_);
    if (Applies(outcome)) {
        state_.target = Xyz{};
        Drove(kEveryAxis);
    }
    Kick(lock);
    return outcome;
}

Outcome PanelStage::SetOrigin() {
    Outcome outcome = Command("setting the origin", SetOriginNowPos);
    std::unique_lock lock(mutex_);
    if (Applies(outcome)) {
        // The path and the target were in the old coordinates.
        ++state_.epoch;
        state_.target.reset();
        state_.position.reset();
    }
    Kick(lock);
    return outcome;
}

Outcome PanelStage::SetSpeeds(int axis, int32_t start, int32_t max, int32_t accel) {
    Outcome outcome = Command("setting the speeds", [&](const Stage& s) {
        return SetMoveSpeeds(s.Handle(), static_cast<uint16_t>(axis), start, max, accel);
    });
    if (outcome.ok) {
        speeds_.Set(axis, {start, max, accel});
        Tell("speeds set for " + std::string(1, "XYZ"[axis]), false);
    }
    return outcome;
}

void PanelStage::StopBecause(const std::string& why) {
    auto [stage, epoch] = Current();
    if (stage == nullptr) return;
    {
        const std::lock_guard lock(mutex_);
        state_.jogging = false;
    }
    const bool sent = StopMove(stage->Handle()) == 1;
    const std::string failure = sent ? std::string{} : ": " + LastError();
    stage.reset();
    Tell((sent ? "stop sent: " : "the stop failed: ") + why + failure, !sent);
    SpeedsBack();
}

void PanelStage::Tell(const std::string& text, bool error) {
    {
        const std::lock_guard lock(mutex_);
        ++state_.messages;
        state_.message = text;
        state_.messageIsError = error;
    }
    updates_.Notify();
}

std::string PanelStage::StateJson() const {
    const std::lock_guard lock(mutex_);
    return state_.Json();
}

bool PanelStage::AtRest() const {
    const std::lock_guard lock(mutex_);
    return !state_.Moving() && !state_.jogging;
}

std::string PanelStage::SpeedRangeError(int32_t start, int32_t max, int32_t accel) const {
    int16_t makerType = 0;
    {
        const std::lock_guard lock(mutex_);
        makerType = state_.makerType;
    }
    return tool::SpeedRangeError(makerType, start, max, accel);
}

void PanelStage::Kick(std::unique_lock<std::mutex>& lock) {
    state_.fastUntil = Clock::now() + kFastAfterCommand;
    kicked_ = true;
    lock.unlock();
    wake_.notify_all();
    updates_.Notify();
}

void PanelStage::Drove(const Axes& axes) {
    for (size_t axis = 0; axis < axes.size(); ++axis) {
        state_.drove[axis] = axes[axis] && static_cast<int>(axis) < state_.axes;
    }
    state_.atLimit.reset();
    state_.sawMoving = false;
}

void PanelStage::Poll() {
    std::unique_lock lock(mutex_);
    Clock::time_point started = Clock::now();
    while (!quit_) {
        const bool fast = state_.Moving() || state_.jogging || Clock::now() < state_.fastUntil;
        // Timed from the start of the last poll, so the time a poll takes
        // does not slow the rate.
        wake_.wait_until(lock, started + (fast ? kMovingPoll : kRestingPoll),
                         [this] { return quit_ || kicked_; });
        kicked_ = false;
        started = Clock::now();
        if (quit_) return;
        std::shared_ptr<Stage> stage = stage_;
        const uint64_t epoch = state_.epoch;
        lock.unlock();
        if (stage != nullptr) {
            PollOnce(*stage, epoch);
            stage.reset();
            updates_.Notify();
        }
        lock.lock();
    }
}

void PanelStage::PollOnce(const Stage& stage, uint64_t epoch) {
    Xyz xyz{};
    const bool read = GetStagePosition(stage.Handle(), &xyz[0], &xyz[1], &xyz[2]) == 1;
    std::string why = read ? std::string{} : "reading the position: " + LastError();
    const int32_t status = MotionStatus(stage);
    if (status == 6 && why.empty()) why = "reading the status: " + LastError();
    std::optional<bool> atLimit;
    Axes drove{};
    {
        const std::lock_guard lock(mutex_);
        // Once it rests after the motion: seen moving, or still after the
        // time a controller takes to start.
        const bool ended = state_.sawMoving || Clock::now() >= state_.fastUntil;
        if (!state_.atLimit && !state_.jogging && ended) drove = state_.drove;
    }
    const bool ask = status != 1 && status != 6 && (drove[0] || drove[1] || drove[2]);
    if (ask) atLimit = AtLimitOn(stage, drove, why);
    const std::lock_guard lock(mutex_);
    // The stage was closed, replaced or given a new origin meanwhile.
    if (epoch != state_.epoch) return;
    if (read) state_.position = xyz;
    if (atLimit && state_.drove == drove) state_.atLimit = atLimit;
    state_.sawMoving = state_.sawMoving || status == 1;
    state_.stale = !read;
    state_.status = status;
    state_.pollError = why;
    ++state_.polls;
}

void PanelStage::WatchJog() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!state_.jogging) {
            wake_.wait_for(lock, std::chrono::seconds(1),
                           [this] { return quit_ || state_.jogging; });
            continue;
        }
        const Clock::time_point until = state_.holdUntil;
        const bool moved = wake_.wait_until(
            lock, until, [&] { return quit_ || !state_.jogging || state_.holdUntil != until; });
        if (moved) continue;
        lock.unlock();
        StopBecause("the page stopped holding the jog");
        lock.lock();
    }
}

}  // namespace astrel::tool
