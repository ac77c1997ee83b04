// The motion of a simulated stage of 1 to 6 axes, independent of any maker's
// command language. Each axis runs a trapezoidal speed profile: it starts at
// its start speed, ramps linearly to its maximum speed over its acceleration
// time, cruises, and ramps down again to arrive at its target (a short move
// turns back down before reaching the maximum). Positions are worked out from
// the clock whenever they are asked for; nothing runs in the background.
//
// Travel limits are switches at a minimum and a maximum position: a move or
// jog that would pass one stops on it, and an axis at rest on a limit reports
// that limit until it moves away. Positions and limits share the controller's
// counting, so redefining the position shifts the limits with it.
#pragma once

#include <array>
#include <cstdint>

#include "SimClock.h"

namespace astrel::sim {

enum class Limit { kNone, kMinus, kPlus };

struct AxisSpeeds {
    int32_t startSpeed = 1000;  // units per second
    int32_t maxSpeed = 20000;   // units per second
    int32_t accelMs = 100;      // ramp time between the two, in milliseconds
};

class MotionModel {
  public:
    static constexpr int kMaxAxes = 6;
    static constexpr int32_t kDefaultMinLimit = -1'000'000;
    static constexpr int32_t kDefaultMaxLimit = 1'000'000;

    // `axisCount` is kept within 1 to kMaxAxes. The clock must outlive the model.
    MotionModel(SimClock& clock, int axisCount);

    int AxisCount() const { return axisCount_; }
    // Simulated milliseconds per clock millisecond (1 to 1000; default 1).
    void SetTimeScale(uint32_t simulatedPerRealMs);

    // Operations on an axis index outside 0 .. AxisCount()-1 are ignored.
    void MoveTo(int axis, int64_t target);
    void MoveBy(int axis, int64_t distance);
    // Runs to the limit in the direction's sign; 0 stops the axis.
    void Jog(int axis, int direction);
    // Returns to the origin, position 0.
    void Home(int axis);
    // Ramps down from the present speed to the start speed and stops there.
    void Stop(int axis);
    // Stops at once where the axis is.
    void EmergencyStop(int axis);
    // Sets the position counter without moving; a moving axis stops first.
    void SetPosition(int axis, int64_t position);
    // Applies from the next motion on. Out-of-range values are brought into
    // range: a maximum speed of at least 1, a start speed from 0 to the
    // maximum, an acceleration time from 0 to 60000 ms.
    void SetSpeeds(int axis, AxisSpeeds speeds);
    void SetLimits(int axis, int32_t minimum, int32_t maximum);

    // Queries on an axis outside the model answer 0, false or kNone.
    int32_t Position(int axis) const;
    int32_t Target(int axis) const;
    bool Moving(int axis) const;
    // The limit an axis at rest stands on; kNone while it moves.
    Limit AtLimit(int axis) const;
    AxisSpeeds Speeds(int axis) const;

  private:
    // The speed over time of one motion, in units per ms and ms from its start.
    struct Ramp {
        double startSpeed = 0;
        double peakSpeed = 0;
        double accel = 0;  // units per ms per ms; 0: runs at the peak speed at once
        double accelEnd = 0;
        double decelStart = 0;
        double end = 0;
    };
    struct Axis {
        AxisSpeeds speeds;
        int64_t minLimit = kDefaultMinLimit;
        int64_t maxLimit = kDefaultMaxLimit;
        int64_t origin = 0;  // where the present motion started
        int64_t target = 0;  // where it ends
        uint64_t startMs = 0;
        Ramp ramp;
    };

    static Ramp PlanRamp(const AxisSpeeds& speeds, double distance);
    static Ramp StopRamp(const Ramp& ramp, double at);
    static double Travelled(const Ramp& ramp, double at);

    uint64_t SimulatedNow() const;
    double Elapsed(const Axis& axis) const;
    int64_t PositionOf(const Axis& axis) const;
    void StartMotion(Axis& axis, int64_t target);
    Axis* Find(int axis);
    const Axis* Find(int axis) const;

    SimClock& clock_;
    int axisCount_;
    uint64_t scale_ = 1;
    uint64_t simulatedBase_ = 0;
    uint64_t realBase_ = 0;
    std::array<Axis, kMaxAxes> axes_{};
};

}  // namespace astrel::sim
