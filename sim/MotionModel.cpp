#include "MotionModel.h"

#include <algorithm>
#include <cmath>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr int32_t kMaxAccelMs = 60'000;
constexpr uint32_t kMaxTimeScale = 1000;

int64_t Direction(int64_t from, int64_t to) {
    return to > from ? 1 : (to < from ? -1 : 0);
}

}  // namespace

MotionModel::MotionModel(SimClock& clock, int axisCount)
    : clock_(clock), axisCount_(std::clamp(axisCount, 1, kMaxAxes)), realBase_(clock.NowMs()) {}

void MotionModel::SetTimeScale(uint32_t simulatedPerRealMs) {
    simulatedBase_ = SimulatedNow();
    realBase_ = clock_.NowMs();
    scale_ = std::clamp<uint32_t>(simulatedPerRealMs, 1, kMaxTimeScale);
}

// Simulated time runs `scale_` times as fast as the clock since the last
// change of scale; unsigned arithmetic, so a clock that starts high is fine.
uint64_t MotionModel::SimulatedNow() const {
    return simulatedBase_ + (clock_.NowMs() - realBase_) * scale_;
}

double MotionModel::Elapsed(const Axis& axis) const {
    return static_cast<double>(SimulatedNow() - axis.startMs);
}

// `speeds` are in the ranges SetSpeeds keeps them in.
MotionModel::Ramp MotionModel::PlanRamp(const AxisSpeeds& speeds, double distance) {
    if (distance <= 0) return {};
    const double peak = speeds.maxSpeed / 1000.0;
    const double start = speeds.startSpeed / 1000.0;
    const double rampMs = speeds.accelMs;
    if (rampMs == 0 || start >= peak) {
        const double end = distance / peak;
        return {peak, peak, 0, 0, end, end};
    }
    const double accel = (peak - start) / rampMs;
    const double rampDistance = (start + peak) / 2 * rampMs;
    if (2 * rampDistance <= distance) {
        const double cruise = (distance - 2 * rampDistance) / peak;
        return {start, peak, accel, rampMs, rampMs + cruise, 2 * rampMs + cruise};
    }
    // Too short to reach the maximum speed: up for half the way, down for the rest.
    const double top = std::sqrt(start * start + accel * distance);
    const double up = (top - start) / accel;
    return {start, top, accel, up, up, 2 * up};
}

// The same motion, but ramping down from the speed it has `at` ms after its start.
MotionModel::Ramp MotionModel::StopRamp(const Ramp& ramp, double at) {
    if (at >= ramp.decelStart) return ramp;
    Ramp stopping = ramp;
    stopping.decelStart = stopping.end = at;
    if (ramp.accel > 0) {
        stopping.accelEnd = std::min(ramp.accelEnd, at);
        stopping.peakSpeed = ramp.startSpeed + ramp.accel * stopping.accelEnd;
        stopping.end += (stopping.peakSpeed - ramp.startSpeed) / ramp.accel;
    }
    return stopping;
}

double MotionModel::Travelled(const Ramp& ramp, double at) {
    const double t = std::clamp(at, 0.0, ramp.end);
    const double up = std::min(t, ramp.accelEnd);
    double distance = ramp.startSpeed * up + ramp.accel * up * up / 2;
    if (t > ramp.accelEnd) {
        distance += ramp.peakSpeed * (std::min(t, ramp.decelStart) - ramp.accelEnd);
    }
    if (t > ramp.decelStart) {
        const double down = t - ramp.decelStart;
        distance += ramp.peakSpeed * down - ramp.accel * down * down / 2;
    }
    return distance;
}

int64_t MotionModel::PositionOf(const Axis& axis) const {
    const double elapsed = Elapsed(axis);
    if (elapsed >= axis.ramp.end) return axis.target;
    const auto whole = static_cast<double>(std::abs(axis.target - axis.origin));
    const double travelled = std::clamp(std::floor(Travelled(axis.ramp, elapsed)), 0.0, whole);
    return axis.origin + Direction(axis.origin, axis.target) * static_cast<int64_t>(travelled);
}

void MotionModel::StartMotion(Axis& axis, int64_t target) {
    const int64_t from = PositionOf(axis);
    axis.origin = from;
    axis.target = std::clamp(target, axis.minLimit, axis.maxLimit);
    axis.startMs = SimulatedNow();
    axis.ramp = PlanRamp(axis.speeds, static_cast<double>(std::abs(axis.target - from)));
}

MotionModel::Axis* MotionModel::Find(int axis) {
    return (axis >= 0 && axis < axisCount_) ? &axes_[static_cast<size_t>(axis)] : nullptr;
}

const MotionModel::Axis* MotionModel::Find(int axis) const {
    return (axis >= 0 && axis < axisCount_) ? &axes_[static_cast<size_t>(axis)] : nullptr;
}

void MotionModel::MoveTo(int axis, int64_t target) {
    if (Axis* a = Find(axis)) StartMotion(*a, target);
}

void MotionModel::MoveBy(int axis, int64_t distance) {
    // The position is within int32 and the distance within kLargestNumber: no overflow.
    if (Axis* a = Find(axis)) {
        StartMotion(*a, PositionOf(*a) + std::clamp(distance, -kLargestNumber, kLargestNumber));
    }
}

void MotionModel::Jog(int axis, int direction) {
    Axis* a = Find(axis);
    if (a == nullptr) return;
    if (direction == 0) return Stop(axis);
    StartMotion(*a, direction > 0 ? a->maxLimit : a->minLimit);
}

void MotionModel::Home(int axis) {
    MoveTo(axis, 0);
}

void MotionModel::Stop(int axis) {
    Axis* a = Find(axis);
    if (a == nullptr) return;
    const double elapsed = Elapsed(*a);
    if (elapsed >= a->ramp.end) return;
    const auto whole = static_cast<double>(std::abs(a->target - a->origin));
    a->ramp = StopRamp(a->ramp, elapsed);
    const auto travelled =
        static_cast<int64_t>(std::clamp(std::round(Travelled(a->ramp, a->ramp.end)), 0.0, whole));
    a->target = a->origin + Direction(a->origin, a->target) * travelled;
}

void MotionModel::EmergencyStop(int axis) {
    Axis* a = Find(axis);
    if (a == nullptr) return;
    a->origin = a->target = PositionOf(*a);
    a->ramp = {};
}

void MotionModel::SetPosition(int axis, int64_t position) {
    Axis* a = Find(axis);
    if (a == nullptr) return;
    EmergencyStop(axis);
    const int64_t value = SaturateToInt32(position);
    const int64_t shift = value - a->target;
    a->origin = a->target = value;
    for (int64_t* limit : {&a->minLimit, &a->maxLimit}) *limit = SaturateToInt32(*limit + shift);
}

void MotionModel::SetSpeeds(int axis, AxisSpeeds speeds) {
    Axis* a = Find(axis);
    if (a == nullptr) return;
    speeds.maxSpeed = std::max(speeds.maxSpeed, 1);
    speeds.startSpeed = std::clamp(speeds.startSpeed, 0, speeds.maxSpeed);
    speeds.accelMs = std::clamp(speeds.accelMs, 0, kMaxAccelMs);
    a->speeds = speeds;
}

void MotionModel::SetLimits(int axis, int32_t minimum, int32_t maximum) {
    if (Axis* a = Find(axis)) {
        a->minLimit = std::min(minimum, maximum);
        a->maxLimit = std::max(minimum, maximum);
    }
}

int32_t MotionModel::Position(int axis) const {
    const Axis* a = Find(axis);
    return a == nullptr ? 0 : SaturateToInt32(PositionOf(*a));
}

int32_t MotionModel::Target(int axis) const {
    const Axis* a = Find(axis);
    return a == nullptr ? 0 : SaturateToInt32(a->target);
}

bool MotionModel::Moving(int axis) const {
    const Axis* a = Find(axis);
    return a != nullptr && Elapsed(*a) < a->ramp.end;
}

Limit MotionModel::AtLimit(int axis) const {
    const Axis* a = Find(axis);
    if (a == nullptr || Moving(axis)) return Limit::kNone;
    if (a->target <= a->minLimit) return Limit::kMinus;
    if (a->target >= a->maxLimit) return Limit::kPlus;
    return Limit::kNone;
}

AxisSpeeds MotionModel::Speeds(int axis) const {
    const Axis* a = Find(axis);
    return a == nullptr ? AxisSpeeds{} : a->speeds;
}

}  // namespace astrel::sim
