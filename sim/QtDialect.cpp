// The QT controller's side of its command language. A command is a verb, a
// colon and pieces made of an axis letter and a value ("AGO:A1000B-250C0").
// Letters the model does not have are passed over; a letter outside "A" to
// "F" or a value that cannot be read makes the whole line unreadable and
// nothing of it is carried out. Only queries are answered, each line ended by
// CR LF. The language has no error answer of its own; an unreadable line is
// answered "NG", which no reader can take for a position.
//
// Parameter 18 (the direction of each axis, 0 or 1) is kept and read back;
// it does not reverse the simulated motion, which the host cannot observe in
// the controller's counting anyway.
#include "QtDialect.h"

#include <array>
#include <map>
#include <optional>
#include <vector>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRefusal = "NG\r\n";
constexpr std::string_view kLetters = "ABCDEF";
constexpr int kModelAxes[] = {1, 2, 3, 2};
constexpr int kDirectionParameter = 18;

// What follows the letter in a piece.
enum class Value { kNumber, kSign, kNone, kTwoDigits };

struct Piece {
    int axis;
    int64_t value;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly two decimal digits ("07") from the front of `text`.
bool TakeTwoDigits(std::string_view& text, int64_t& value) {
    if (text.size() < 2 || !IsDigit(text[0]) || !IsDigit(text[1])) return false;
    value = (text[0] - '0') * 10 + (text[1] - '0');
    text.remove_prefix(2);
    return true;
}

std::string TwoDigits(int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10),
                       static_cast<char>('0' + value % 10)};
}

class QtDialect final : public Dialect {
  public:
    QtDialect(SimClock& clock, int axes) : motion_(clock, axes) {}

    std::string Answer(std::string_view line) override {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return std::string(kRefusal);
        const auto reply = Run(line.substr(0, colon), line.substr(colon + 1));
        return reply ? *reply : std::string(kRefusal);
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override { return {.hostLineEnd = "\r\n"}; }
    MotionModel& Motion() override { return motion_; }

  private:
    using Reply = std::optional<std::string>;  // nullopt: the line is refused

    struct Parameter {
        std::string text;  // set by "P:NN,<text>"; read back instead of the values
        std::array<int32_t, MotionModel::kMaxAxes> values{};
    };

    Reply Run(std::string_view verb, std::string_view args) {
        MotionModel& m = motion_;
        if (verb == "Q") return Status(args);
        if (verb == "AGO") {
            return Each(args, Value::kNumber, [&](Piece p) { m.MoveTo(p.axis, p.value); });
        }
        if (verb == "MGO") {
            return Each(args, Value::kNumber, [&](Piece p) { m.MoveBy(p.axis, p.value); });
        }
        if (verb == "BGO") {
            return Each(args, Value::kNumber, [&](Piece p) {
                if (p.axis < 2) m.MoveTo(p.axis, p.value);
            });
        }
        if (verb == "JGO") {
            return Each(args, Value::kSign,
                        [&](Piece p) { m.Jog(p.axis, static_cast<int>(p.value)); });
        }
        if (verb == "H") return Each(args, Value::kNone, [&](Piece p) { m.Home(p.axis); });
        if (verb == "R") {
            return Each(args, Value::kNumber, [&](Piece p) { m.SetPosition(p.axis, p.value); });
        }
        if (verb == "L") return EachOrAll(args, [&](int axis) { m.Stop(axis); });
        if (verb == "E") return EachOrAll(args, [&](int axis) { m.EmergencyStop(axis); });
        if (verb == "D") return Speeds(args);
        if (verb == "P") return ParameterCommand(args);
        if (verb == "S") return SpeedSelect(args);
        if ((verb == "F" || verb == "RESTA") && args.empty()) return "";
        return std::nullopt;
    }

    // Reads every piece of `args`; the pieces of letters the model has, or
    // nullopt when one cannot be read.
    std::optional<std::vector<Piece>> Pieces(std::string_view args, Value kind) const {
        std::vector<Piece> pieces;
        while (!args.empty()) {
            const size_t letter = kLetters.find(args.front());
            if (letter == std::string_view::npos) return std::nullopt;
            args.remove_prefix(1);
            int64_t value = 0;
            if (kind == Value::kNumber && !TakeSigned(args, value)) return std::nullopt;
            if (kind == Value::kSign) {
                if (TakePrefix(args, "+")) {
                    value = 1;
                } else if (TakePrefix(args, "-")) {
                    value = -1;
                } else {
                    return std::nullopt;
                }
            }
            if (kind == Value::kTwoDigits && !TakeTwoDigits(args, value)) return std::nullopt;
            const int axis = static_cast<int>(letter);
            if (axis < motion_.AxisCount()) pieces.push_back({axis, value});
        }
        return pieces;
    }

    template <class Apply>
    Reply Each(std::string_view args, Value kind, Apply apply) {
        const auto pieces = Pieces(args, kind);
        if (!pieces) return std::nullopt;
        for (const Piece& piece : *pieces) apply(piece);
        return "";
    }

    // "L:" and "E:" act on every axis; with letters, on those alone.
    template <class Apply>
    Reply EachOrAll(std::string_view args, Apply apply) {
        if (!args.empty()) return Each(args, Value::kNone, [&](Piece p) { apply(p.axis); });
        for (int axis = 0; axis < motion_.AxisCount(); ++axis) apply(axis);
        return "";
    }

    // "Q:0" for every axis, or "Q:A0C0" for those asked, in the order asked:
    // each field is the position, then "D" while moving or "L" at rest on a limit.
    Reply Status(std::string_view args) {
        std::vector<int> axes;
        if (args == "0") {
            for (int axis = 0; axis < motion_.AxisCount(); ++axis) axes.push_back(axis);
        } else {
            const auto pieces = Pieces(args, Value::kNumber);
            if (!pieces) return std::nullopt;
            for (const Piece& piece : *pieces) {
                if (piece.value != 0) return std::nullopt;
                axes.push_back(piece.axis);
            }
        }
        std::vector<std::string> fields;
        for (const int axis : axes) {
            std::string field = std::to_string(motion_.Position(axis));
            if (motion_.Moving(axis)) {
                field += 'D';
            } else if (motion_.AtLimit(axis) != Limit::kNone) {
                field += 'L';
            }
            fields.push_back(std::move(field));
        }
        return Line(fields);
    }

    // One reply line of a field for each axis of the model, in letter order.
    template <class Field>
    std::string FieldPerAxis(Field field) const {
        std::vector<std::string> fields;
        for (int axis = 0; axis < motion_.AxisCount(); ++axis) {
            fields.push_back(field(static_cast<size_t>(axis)));
        }
        return Line(fields);
    }

    static std::string Line(const std::vector<std::string>& fields) {
        return Join(fields, ",") + std::string(kLineEnd);
    }

    // "D:B100,2000,300": start speed, maximum speed and acceleration time of one
    // axis; several such pieces may follow one another.
    Reply Speeds(std::string_view args) {
        std::vector<std::pair<int, AxisSpeeds>> settings;
        while (!args.empty()) {
            const size_t letter = kLetters.find(args.front());
            args.remove_prefix(1);
            int64_t start = 0, max = 0, accel = 0;
            if (letter == std::string_view::npos || !TakeSigned(args, start) ||
                !TakePrefix(args, ",") || !TakeSigned(args, max) || !TakePrefix(args, ",") ||
                !TakeSigned(args, accel) || start < 0 || max < 1 || accel < 0) {
                return std::nullopt;
            }
            settings.push_back(
                {static_cast<int>(letter),
                 {SaturateToInt32(start), SaturateToInt32(max), SaturateToInt32(accel)}});
        }
        for (const auto& [axis, speeds] : settings) motion_.SetSpeeds(axis, speeds);
        return "";
    }

    // "P:NNR" reads parameter NN, "P:NNA1B0" writes values per axis and
    // "P:NN,<text>" writes a value text.
    Reply ParameterCommand(std::string_view args) {
        int64_t number = 0;
        if (!TakeTwoDigits(args, number)) return std::nullopt;
        Parameter& parameter = parameters_[static_cast<int>(number)];
        if (args == "R") {
            if (!parameter.text.empty()) return parameter.text + std::string(kLineEnd);
            return FieldPerAxis(
                [&](size_t axis) { return std::to_string(parameter.values[axis]); });
        }
        if (TakePrefix(args, ",")) {
            parameter.text = args;
            return "";
        }
        const auto pieces = Pieces(args, Value::kNumber);
        if (!pieces) return std::nullopt;
        for (const Piece& piece : *pieces) {
            if (number == kDirectionParameter && piece.value != 0 && piece.value != 1) {
                return std::nullopt;
            }
        }
        parameter.text.clear();
        for (const Piece& piece : *pieces) {
            parameter.values[static_cast<size_t>(piece.axis)] = SaturateToInt32(piece.value);
        }
        return "";
    }

    // "S:R" reads the speed selection of every axis, two digits each;
    // "S:A01B12" sets it.
    Reply SpeedSelect(std::string_view args) {
        if (args == "R") {
            return FieldPerAxis([&](size_t axis) { return TwoDigits(speedSelect_[axis]); });
        }
        return Each(args, Value::kTwoDigits, [&](Piece p) {
            speedSelect_[static_cast<size_t>(p.axis)] = static_cast<int>(p.value);
        });
    }

    MotionModel motion_;
    std::map<int, Parameter> parameters_;
    std::array<int, MotionModel::kMaxAxes> speedSelect_{};
};

}  // namespace

std::unique_ptr<Dialect> CreateQtDialect(std::string_view model, SimClock& clock) {
    const int index = FindIgnoringCase(kQtModels, model);
    if (index < 0) return nullptr;
    return std::make_unique<QtDialect>(clock, kModelAxes[index]);
}

}  // namespace astrel::sim
