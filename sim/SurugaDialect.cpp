// The Suruga controller's side of its command language: plain words with the
// axis letter inside ("?POSX", "INCY300", "SPSELZ1", "AX1000Y-200Z0G").
//
// Only the queries are answered, each reply a single line ended by CR:
// "?SX" gives the axis's status byte, "?POSX" its position. Every other
// command is carried out in silence. A host puts the controller into remote
// mode ("MODE3") before each of its commands and takes the line that follows
// a query as its reply, so an answer to "MODE3" or to a move would be taken
// for the next query's reply. A line the controller does not know is
// answered "NG" and changes nothing.
//
// The status byte is the digit "0" (0x30) with flags set in it: bit 7 while
// the axis moves, bit 0 while it rests on its plus limit, bit 1 on its minus
// limit, bit 6 while it rests at the origin (position 0): "p" there.
//
// At power-on the controller is in local mode ("MODE1"): the front panel has
// the stage, and commands that move it or change its settings are ignored
// (queries are still answered) until "MODE3" hands it to the host.
#include "SurugaDialect.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r";
constexpr std::string_view kRefusal = "NG\r";
constexpr std::string_view kAxisLetters = "XYZ";
constexpr int kAxes = 3;
constexpr int kSpeedTables = 10;  // tables 0 to 9, one digit in the commands

constexpr unsigned kStatusBase = 0x30;
constexpr unsigned kMovingBit = 0x80;
constexpr unsigned kPlusLimitBit = 0x01;
constexpr unsigned kMinusLimitBit = 0x02;
constexpr unsigned kOriginBit = 0x40;

// Removes an axis letter from the front of `text`: its axis, or -1 (text unchanged).
int TakeAxis(std::string_view& text) {
    const size_t axis = text.empty() ? std::string_view::npos : kAxisLetters.find(text.front());
    if (axis == std::string_view::npos) return -1;
    text.remove_prefix(1);
    return static_cast<int>(axis);
}

// Removes one decimal digit from the front of `text`: its value, or -1.
int TakeDigit(std::string_view& text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return -1;
    const int digit = text.front() - '0';
    text.remove_prefix(1);
    return digit;
}

class SurugaDialect final : public Dialect {
  public:
    explicit SurugaDialect(SimClock& clock) : motion_(clock, kAxes) {
        for (int axis = 0; axis < kAxes; ++axis) ApplyTable(axis);
    }

    std::string Answer(std::string_view line) override {
        std::string_view rest = line;
        if (TakePrefix(rest, "?POS")) {
            return Query(rest, [this](int axis) { return std::to_string(motion_.Position(axis)); });
        }
        if (TakePrefix(rest, "?S")) {
            return Query(rest, [this](int axis) { return std::string(1, StatusByte(axis)); });
        }
        if (line == "MODE1" || line == "MODE3") {
            remote_ = line == "MODE3";
            return "";
        }
        const std::optional<Action> action = Parse(line);
        if (!action) return std::string(kRefusal);
        if (remote_) (*action)();
        return "";
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override { return {.hostLineEnd = "\r"}; }
    MotionModel& Motion() override { return motion_; }

  private:
    using Action = std::function<void()>;

    // A query's reply for the axis letter that makes up the rest of the line.
    template <class Text>
    std::string Query(std::string_view rest, Text text) const {
        const int axis = TakeAxis(rest);
        if (axis < 0 || !rest.empty()) return std::string(kRefusal);
        return text(axis) + std::string(kLineEnd);
    }

    char StatusByte(int axis) const {
        unsigned bits = kStatusBase;
        if (motion_.Moving(axis)) bits |= kMovingBit;
        if (motion_.AtLimit(axis) == Limit::kPlus) bits |= kPlusLimitBit;
        if (motion_.AtLimit(axis) == Limit::kMinus) bits |= kMinusLimitBit;
        if (!motion_.Moving(axis) && motion_.Position(axis) == 0) bits |= kOriginBit;
        return static_cast<char>(bits);
    }

    // What a command that moves the stage or sets something does; nullopt
    // for a line the controller does not know.
    std::optional<Action> Parse(std::string_view line) {
        MotionModel& m = motion_;
        if (line == "H") return [&m] { ForEachAxis([&m](int axis) { m.Stop(axis); }); };
        if (line == "E") return [&m] { ForEachAxis([&m](int axis) { m.EmergencyStop(axis); }); };
        std::string_view rest = line;
        int64_t value = 0;
        if (TakePrefix(rest, "SPEED")) return Speed(rest);
        if (TakePrefix(rest, "SPSEL")) {
            const int axis = TakeAxis(rest);
            const int table = TakeDigit(rest);
            if (axis < 0 || table < 0 || !rest.empty()) return std::nullopt;
            return [this, axis, table] {
                selected_[static_cast<size_t>(axis)] = table;
                ApplyTable(axis);
            };
        }
        if (TakePrefix(rest, "INC")) {
            // The distance of the next relative move, taken without its sign.
            const int axis = TakeAxis(rest);
            if (axis < 0 || !TakeSigned(rest, value) || !rest.empty()) return std::nullopt;
            return [this, axis, value] {
                distance_[static_cast<size_t>(axis)] = value < 0 ? -value : value;
            };
        }
        if (TakePrefix(rest, "POS")) {
            const int axis = TakeAxis(rest);
            if (axis < 0 || !TakeSigned(rest, value) || !rest.empty()) return std::nullopt;
            return [&m, axis, value] { m.SetPosition(axis, value); };
        }
        if (TakePrefix(rest, "A")) return Absolute(rest);
        return AxisWords(rest);
    }

    // "SPEED" then the table digit, the field digit (1 start speed, 2 maximum
    // speed, 3 acceleration time) and the value: "SPEED022000".
    std::optional<Action> Speed(std::string_view rest) {
        const int table = TakeDigit(rest);
        const int field = TakeDigit(rest);
        int64_t value = 0;
        if (table < 0 || field < 1 || field > 3 || !TakeSigned(rest, value) || !rest.empty() ||
            value < (field == 2 ? 1 : 0)) {
            return std::nullopt;
        }
        return [this, table, field, value] {
            AxisSpeeds& speeds = tables_[static_cast<size_t>(table)];
            int32_t& slot = field == 1   ? speeds.startSpeed
                            : field == 2 ? speeds.maxSpeed
                                         : speeds.accelMs;
            slot = SaturateToInt32(value);
            for (int axis = 0; axis < kAxes; ++axis) {
                if (selected_[static_cast<size_t>(axis)] == table) ApplyTable(axis);
            }
        };
    }

    // "AX1000Y-200Z0G": targets for the axes named, then "G" starts them together.
    std::optional<Action> Absolute(std::string_view rest) {
        std::array<std::optional<int64_t>, kAxes> targets;
        int named = 0;
        for (int axis = TakeAxis(rest); axis >= 0; axis = TakeAxis(rest), ++named) {
            int64_t target = 0;
            if (!TakeSigned(rest, target)) return std::nullopt;
            targets[static_cast<size_t>(axis)] = target;
        }
        if (named == 0 || rest != "G") return std::nullopt;
        return [this, targets] {
            for (int a = 0; a < kAxes; ++a) {
                const auto& target = targets[static_cast<size_t>(a)];
                if (target) motion_.MoveTo(a, *target);
            }
        };
    }

    // "XUYDZDG": each named axis runs its "INC" distance up (U) or down (D);
    // "XYZOG": the named axes return to the origin.
    std::optional<Action> AxisWords(std::string_view rest) {
        constexpr int kNamed = 2;             // named without a direction
        std::array<int, kAxes> directions{};  // 0: not named
        int named = 0;
        int withDirection = 0;
        for (int axis = TakeAxis(rest); axis >= 0; axis = TakeAxis(rest), ++named) {
            const int d = TakePrefix(rest, "U") ? 1 : TakePrefix(rest, "D") ? -1 : 0;
            directions[static_cast<size_t>(axis)] = d != 0 ? d : kNamed;
            if (d != 0) ++withDirection;
        }
        const bool origin = named > 0 && withDirection == 0 && rest == "OG";
        const bool relative = named > 0 && withDirection == named && rest == "G";
        if (!origin && !relative) return std::nullopt;
        return [this, directions, origin] {
            for (int a = 0; a < kAxes; ++a) {
                const int d = directions[static_cast<size_t>(a)];
                if (d == 0) continue;
                if (origin) {
                    motion_.Home(a);
                } else {
                    motion_.MoveBy(a, d * distance_[static_cast<size_t>(a)]);
                }
            }
        };
    }

    template <class Apply>
    static void ForEachAxis(Apply apply) {
        for (int axis = 0; axis < kAxes; ++axis) apply(axis);
    }

    void ApplyTable(int axis) {
        motion_.SetSpeeds(axis, tables_[static_cast<size_t>(selected_[static_cast<size_t>(axis)])]);
    }

    MotionModel motion_;
    bool remote_ = false;
    std::array<int64_t, kAxes> distance_{};
    std::array<AxisSpeeds, kSpeedTables> tables_{};
    std::array<int, kAxes> selected_ = {0, 0, 1};  // X and Y run on table 0, Z on table 1
};

}  // namespace

std::unique_ptr<Dialect> CreateSurugaDialect(std::string_view model, SimClock& clock) {
    if (FindIgnoringCase(kSurugaModels, model) < 0) return nullptr;
    return std::make_unique<SurugaDialect>(clock);
}

}  // namespace astrel::sim
