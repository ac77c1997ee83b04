// The "ProScan" controller's side of its command language. A command is a
// verb ("G", "GR", "$", ...), an optional colon and signed decimal values
// separated by commas ("G:100,-200,300"); "I" and "I:" are the same command.
// Replies end with CR.
//
// Three queries are answered:
//   "$"    the moving axes as a hexadecimal number: X 1, Y 2, Z 4, and 8
//          while any of them moves ("F" while all three run);
//   "LMT"  the limit switches the axes at rest stand on, in hexadecimal:
//          X plus 0x01, X minus 0x02, Y 0x04 and 0x08, Z 0x10 and 0x20;
//   "P"    the position, "x,y,z".
// Every other command is carried out without an answer. The controller's
// acknowledgements of plain commands are left out on purpose: the host
// discards them unread, and one that arrived late could be taken for the
// answer to the next query. A command the controller does not know, or whose
// values it cannot read or take, is answered "?" and not carried out; "?" is
// neither a hexadecimal number nor a position.
#include "PriorDialect.h"

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r";
constexpr std::string_view kRefusal = "?\r";
constexpr int kX = 0, kY = 1, kZ = 2;
constexpr int kAxes = 3;
constexpr uint32_t kBusyBit = 0x08;  // in the "$" answer
// Speeds and accelerations are settings from 1 to 100.
constexpr int64_t kLowestSetting = 1;
constexpr int64_t kHighestSetting = 100;
constexpr int64_t kSpeedPerStep = 1000;  // units per second for each speed step
constexpr int64_t kRampMsAtOne = 10000;  // ramp time at acceleration 1; at 100 it is 100 ms

using Values = std::vector<int64_t>;

// Reads "1,-2,3" into its values (none for an empty text); nullopt when a
// piece is not a signed decimal and nothing else.
std::optional<Values> ReadValues(std::string_view text) {
    Values values;
    if (text.empty()) return values;
    for (;;) {
        int64_t value = 0;
        if (!TakeSigned(text, value)) return std::nullopt;
        values.push_back(value);
        if (text.empty()) return values;
        if (!TakePrefix(text, ",")) return std::nullopt;
    }
}

std::string HexLine(uint32_t bits) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(bits));
    return std::string(text) + std::string(kLineEnd);
}

class PriorDialect final : public Dialect {
  public:
    explicit PriorDialect(SimClock& clock) : motion_(clock, kAxes) {}

    std::string Answer(std::string_view line) override {
        const size_t colon = line.find(':');
        const std::string_view verb = line.substr(0, colon);
        const auto values =
            ReadValues(colon == std::string_view::npos ? "" : line.substr(colon + 1));
        const Reply reply = values ? Run(verb, *values) : std::nullopt;
        return reply ? *reply : std::string(kRefusal);
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override { return {.hostLineEnd = "\r"}; }
    MotionModel& Motion() override { return motion_; }

  private:
    using Reply = std::optional<std::string>;  // nullopt: the command is refused

    Reply Run(std::string_view verb, const Values& values) {
        MotionModel& m = motion_;
        if (values.empty()) {
            if (verb == "$") return HexLine(MovingBits());
            if (verb == "LMT") return HexLine(LimitBits());
            if (verb == "P") return PositionLine();
            if (verb == "M") return EveryAxis([&](int axis) { m.Home(axis); });
            if (verb == "I") return EveryAxis([&](int axis) { m.Stop(axis); });
            if (verb == "K") return EveryAxis([&](int axis) { m.EmergencyStop(axis); });
            return std::nullopt;
        }
        // X, Y and Z in turn; the axes left out stay as they are.
        if (values.size() <= kAxes) {
            if (verb == "G") return EachValue(values, [&](int a, int64_t v) { m.MoveTo(a, v); });
            if (verb == "GR") return EachValue(values, [&](int a, int64_t v) { m.MoveBy(a, v); });
            if (verb == "P") {
                return EachValue(values, [&](int a, int64_t v) { m.SetPosition(a, v); });
            }
        }
        if (values.size() != 1) return std::nullopt;
        const int64_t value = values.front();
        if (verb == "GX") return MoveOne(kX, value);
        if (verb == "GY") return MoveOne(kY, value);
        if (verb == "V") return MoveOne(kZ, value);
        if (verb == "SMS") return Setting(value, {kX, kY}, &PriorDialect::SetMaxSpeed);
        if (verb == "SMZ") return Setting(value, {kZ}, &PriorDialect::SetMaxSpeed);
        if (verb == "SAS") return Setting(value, {kX, kY}, &PriorDialect::SetAcceleration);
        if (verb == "SAZ") return Setting(value, {kZ}, &PriorDialect::SetAcceleration);
        // The joystick's direction per axis: the simulated stage has no
        // joystick, so the value is checked and has no other effect.
        if (verb == "JXD" || verb == "JYD" || verb == "JZD") {
            return value == 1 || value == -1 ? Reply("") : std::nullopt;
        }
        return std::nullopt;
    }

    template <class Apply>
    Reply EveryAxis(Apply apply) {
        for (int axis = 0; axis < kAxes; ++axis) apply(axis);
        return "";
    }

    template <class Apply>
    Reply EachValue(const Values& values, Apply apply) {
        for (size_t i = 0; i < values.size(); ++i) apply(static_cast<int>(i), values[i]);
        return "";
    }

    Reply MoveOne(int axis, int64_t target) {
        motion_.MoveTo(axis, target);
        return "";
    }

    // Applies a speed or acceleration setting of 1 to 100 to `axes`.
    Reply Setting(int64_t value, std::initializer_list<int> axes,
                  void (PriorDialect::*apply)(int, int64_t)) {
        if (value < kLowestSetting || value > kHighestSetting) return std::nullopt;
        for (const int axis : axes) (this->*apply)(axis, value);
        return "";
    }

    void SetMaxSpeed(int axis, int64_t setting) {
        AxisSpeeds speeds = motion_.Speeds(axis);
        speeds.maxSpeed = SaturateToInt32(setting * kSpeedPerStep);
        motion_.SetSpeeds(axis, speeds);
    }

    // A higher acceleration ramps in a shorter time.
    void SetAcceleration(int axis, int64_t setting) {
        AxisSpeeds speeds = motion_.Speeds(axis);
        speeds.accelMs = SaturateToInt32(kRampMsAtOne / setting);
        motion_.SetSpeeds(axis, speeds);
    }

    uint32_t MovingBits() const {
        uint32_t bits = 0;
        for (int axis = 0; axis < kAxes; ++axis) {
            if (motion_.Moving(axis)) bits |= 1u << axis;
        }
        return bits != 0 ? bits | kBusyBit : 0;
    }

    uint32_t LimitBits() const {
        uint32_t bits = 0;
        for (int axis = 0; axis < kAxes; ++axis) {
            const Limit limit = motion_.AtLimit(axis);
            if (limit == Limit::kPlus) bits |= 0x1u << (2 * axis);
            if (limit == Limit::kMinus) bits |= 0x2u << (2 * axis);
        }
        return bits;
    }

    std::string PositionLine() const {
        std::vector<std::string> fields;
        for (int axis = 0; axis < kAxes; ++axis) {
            fields.push_back(std::to_string(motion_.Position(axis)));
        }
        return Join(fields, ",") + std::string(kLineEnd);
    }

    MotionModel motion_;
};

}  // namespace

std::unique_ptr<Dialect> CreatePriorDialect(std::string_view model, SimClock& clock) {
    if (FindIgnoringCase(kPriorModels, model) < 0) return nullptr;
    return std::make_unique<PriorDialect>(clock);
}

}  // namespace astrel::sim
