// The CP-310 controller's side of its command language. A command is a
// letter, a colon and its arguments. Axes are numbered from 1 (1 X, 2 Y,
// 3 Z) and "W" names every axis of the model at once, in axis order. A value
// is a sign, "P" and the magnitude ("+P1000", "-P250").
//
//   Q:                 "+0000100,-0000020,+0000000,K,5": the positions, the
//                      state letter and the limit bits (1 X, 2 Y, 4 Z)
//   Q2:                "+0000100,-0000020,+0000000,K,0,+,0,B": the positions,
//                      the state letter, one limit piece per axis ("0", or
//                      "+" or "-" for the switch it stands on), then the
//                      state: "B" while any axis moves, "I" (idle) from
//                      power-on until the first motion starts, else "R"
//   !:                 the state alone
//   A:W<v>...          absolute targets of every axis; A:<n><v> of one axis
//   M:W<v>...          relative distances; M:<n><v> of one axis
//   J:<n><s>           jogs one axis, "+" or "-"; J:W<s><s>[<s>] jogs X and Y
//                      and, with a third sign, Z
//   G:                 starts the motion the last A:, M: or J: set up
//   H:<n>              returns axis n to its origin at once
//   L:<n>              stops axis n along its ramp; L:E stops every axis at once
//   D:<n>S<s>F<f>R<r>  start speed, maximum speed and ramp time of axis n
//   F:M<n>D            writes setting n: the next line is its value word
//
// Only the queries are answered, each line ended by CR LF; commands are
// carried out silently, so a late answer can never be taken for a query's.
// A line the controller cannot carry out (an unknown command, an axis the
// model lacks, a value it cannot read) is answered "X", and the state letter
// of the status replies reads "X" instead of "K" until the next command that
// is carried out.
//
// Settings are kept but do not change the simulated motion: a direction
// setting reverses the motor, which the host cannot observe in the
// controller's counting anyway. Each model's direction settings take only
// that model's two value words.
#include "Cp310Dialect.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRefusal = "X\r\n";
constexpr int kModelAxes[] = {3, 2};
constexpr int kMaxAxes = 3;
constexpr size_t kPositionDigits = 7;
constexpr int64_t kHighestSetting = 999;

// The direction settings of a model, one per axis (0: none), and the value
// words they take: normal first, reversed second.
struct DirectionSettings {
    int64_t numbers[kMaxAxes];
    std::string_view words[2];
};
constexpr DirectionSettings kDirectionSettings[] = {
    {{13, 34, 55}, {"POSZ", "NEGZ"}},  // "CP-310"
    {{58, 60, 0}, {"0Z", "1Z"}},       // "CP-500"
};

bool StartsWithDigit(std::string_view text) {
    return !text.empty() && text.front() >= '0' && text.front() <= '9';
}

// Unsigned decimal digits from the front of `text`.
bool TakeDigits(std::string_view& text, int64_t& value) {
    return StartsWithDigit(text) && TakeSigned(text, value);
}

// "+" or "-" from the front of `text`: 1 or -1.
bool TakeSign(std::string_view& text, int& sign) {
    if (TakePrefix(text, "+")) {
        sign = 1;
    } else if (TakePrefix(text, "-")) {
        sign = -1;
    } else {
        return false;
    }
    return true;
}

// A sign, "P" and the magnitude.
bool TakeValue(std::string_view& text, int64_t& value) {
    int sign = 0;
    int64_t magnitude = 0;
    if (!TakeSign(text, sign) || !TakePrefix(text, "P") || !TakeDigits(text, magnitude)) {
        return false;
    }
    value = sign * magnitude;
    return true;
}

// A sign and at least seven digits: "+0000100", "-2147483648".
std::string PositionPiece(int32_t position) {
    const int64_t wide = position;
    std::string digits = std::to_string(wide < 0 ? -wide : wide);
    if (digits.size() < kPositionDigits) digits.insert(0, kPositionDigits - digits.size(), '0');
    return (position < 0 ? "-" : "+") + digits;
}

class Cp310Dialect final : public Dialect {
  public:
    Cp310Dialect(SimClock& clock, int model) : model_(model), motion_(clock, kModelAxes[model]) {}

    std::string Answer(std::string_view line) override {
        const Reply reply = Run(line);
        if (!reply) {
            refused_ = true;
            return std::string(kRefusal);
        }
        return *reply;
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override { return {.baud = 38400, .hostLineEnd = "\r\n"}; }
    MotionModel& Motion() override { return motion_; }

  private:
    using Reply = std::optional<std::string>;  // nullopt: the line is refused

    enum class Kind { kNone, kTo, kBy, kJog };
    // The motion of one axis that the next "G:" starts.
    struct SetUp {
        Kind kind = Kind::kNone;
        int64_t value = 0;
    };
    using SetUps = std::array<SetUp, kMaxAxes>;

    int Axes() const { return motion_.AxisCount(); }

    Reply Run(std::string_view line) {
        if (setting_ != 0) return WriteSetting(std::exchange(setting_, 0), line);
        if (line == "Q:") return PositionReply();
        if (line == "Q2:") return StatusReply();
        if (line == "!:") return Line({State()});
        if (line.size() < 2 || line[1] != ':') return std::nullopt;
        const Reply reply = Command(line.front(), line.substr(2));
        if (reply) refused_ = false;
        return reply;
    }

    Reply Command(char verb, std::string_view args) {
        switch (verb) {
            case 'A':
                return SetUpMove(args, Kind::kTo);
            case 'M':
                return SetUpMove(args, Kind::kBy);
            case 'J':
                return SetUpJog(args);
            case 'G':
                return args.empty() ? Start() : std::nullopt;
            case 'H':
                return OnAxis(args, [this](int axis) {
                    motion_.Home(axis);
                    idle_ = false;
                });
            case 'L':
                if (args == "E") {
                    for (int axis = 0; axis < Axes(); ++axis) motion_.EmergencyStop(axis);
                    return "";
                }
                return OnAxis(args, [this](int axis) { motion_.Stop(axis); });
            case 'D':
                return Speeds(args);
            case 'F':
                return SelectSetting(args);
            default:
                return std::nullopt;
        }
    }

    // An axis number from the front of `text`, as an axis index.
    bool TakeAxis(std::string_view& text, int& axis) const {
        if (text.empty() || text.front() < '1' || text.front() > '0' + Axes()) return false;
        axis = text.front() - '1';
        text.remove_prefix(1);
        return true;
    }

    template <class Apply>
    Reply OnAxis(std::string_view args, Apply apply) {
        int axis = 0;
        if (!TakeAxis(args, axis) || !args.empty()) return std::nullopt;
        apply(axis);
        return "";
    }

    // "W" and a value for every axis, or an axis number and its value.
    Reply SetUpMove(std::string_view args, Kind kind) {
        SetUps setUps{};
        if (TakePrefix(args, "W")) {
            for (int axis = 0; axis < Axes(); ++axis) {
                if (!TakeValue(args, setUps[static_cast<size_t>(axis)].value)) return std::nullopt;
                setUps[static_cast<size_t>(axis)].kind = kind;
            }
        } else {
            int axis = 0;
            int64_t value = 0;
            if (!TakeAxis(args, axis) || !TakeValue(args, value)) return std::nullopt;
            setUps[static_cast<size_t>(axis)] = {kind, value};
        }
        if (!args.empty()) return std::nullopt;
        setUps_ = setUps;
        return "";
    }

    // "W" and a sign for X, Y and optionally Z, or an axis number and its sign.
    Reply SetUpJog(std::string_view args) {
        SetUps setUps{};
        int sign = 0;
        if (TakePrefix(args, "W")) {
            int axis = 0;
            for (; axis < Axes() && TakeSign(args, sign); ++axis) {
                setUps[static_cast<size_t>(axis)] = {Kind::kJog, sign};
            }
            if (axis < 2) return std::nullopt;
        } else {
            int axis = 0;
            if (!TakeAxis(args, axis) || !TakeSign(args, sign)) return std::nullopt;
            setUps[static_cast<size_t>(axis)] = {Kind::kJog, sign};
        }
        if (!args.empty()) return std::nullopt;
        setUps_ = setUps;
        return "";
    }

    // "G:" starts what was set up, once.
    Reply Start() {
        for (int axis = 0; axis < Axes(); ++axis) {
            const SetUp& setUp = setUps_[static_cast<size_t>(axis)];
            if (setUp.kind == Kind::kTo) motion_.MoveTo(axis, setUp.value);
            if (setUp.kind == Kind::kBy) motion_.MoveBy(axis, setUp.value);
            if (setUp.kind == Kind::kJog) motion_.Jog(axis, static_cast<int>(setUp.value));
        }
        setUps_ = {};
        idle_ = false;
        return "";
    }

    Reply Speeds(std::string_view args) {
        int axis = 0;
        int64_t start = 0, max = 0, accel = 0;
        if (!TakeAxis(args, axis) || !TakePrefix(args, "S") || !TakeDigits(args, start) ||
            !TakePrefix(args, "F") || !TakeDigits(args, max) || !TakePrefix(args, "R") ||
            !TakeDigits(args, accel) || !args.empty() || max < 1) {
            return std::nullopt;
        }
        motion_.SetSpeeds(axis,
                          {SaturateToInt32(start), SaturateToInt32(max), SaturateToInt32(accel)});
        return "";
    }

    // "F:M<n>D": the next line is the value word of setting n.
    Reply SelectSetting(std::string_view args) {
        int64_t number = 0;
        if (!TakePrefix(args, "M") || !TakeDigits(args, number) || !TakePrefix(args, "D") ||
            !args.empty() || number < 1 || number > kHighestSetting) {
            return std::nullopt;
        }
        setting_ = number;
        return "";
    }

    // A value word ends in "Z"; a direction setting takes only its model's two.
    Reply WriteSetting(int64_t number, std::string_view word) {
        if (word.size() < 2 || word.back() != 'Z') return std::nullopt;
        const DirectionSettings& directions = kDirectionSettings[model_];
        for (const int64_t direction : directions.numbers) {
            if (direction == number && word != directions.words[0] && word != directions.words[1]) {
                return std::nullopt;
            }
        }
        settings_[number] = word;
        refused_ = false;
        return "";
    }

    std::string State() const { return AnyMoving() ? "B" : idle_ ? "I" : "R"; }

    bool AnyMoving() const {
        for (int axis = 0; axis < Axes(); ++axis) {
            if (motion_.Moving(axis)) return true;
        }
        return false;
    }

    // The positions of every axis and the state letter.
    std::vector<std::string> Positions() const {
        std::vector<std::string> pieces;
        for (int axis = 0; axis < Axes(); ++axis)
            pieces.push_back(PositionPiece(motion_.Position(axis)));
        pieces.emplace_back(refused_ ? "X" : "K");
        return pieces;
    }

    Reply PositionReply() const {
        std::vector<std::string> pieces = Positions();
        int bits = 0;
        for (int axis = 0; axis < Axes(); ++axis) {
            if (motion_.AtLimit(axis) != Limit::kNone) bits |= 1 << axis;
        }
        pieces.push_back(std::to_string(bits));
        return Line(pieces);
    }

    Reply StatusReply() const {
        std::vector<std::string> pieces = Positions();
        for (int axis = 0; axis < Axes(); ++axis) {
            const Limit limit = motion_.AtLimit(axis);
            pieces.emplace_back(limit == Limit::kPlus ? "+" : limit == Limit::kMinus ? "-" : "0");
        }
        pieces.emplace_back(State());
        return Line(pieces);
    }

    static std::string Line(const std::vector<std::string>& pieces) {
        return Join(pieces, ",") + std::string(kLineEnd);
    }

    const int model_;
    MotionModel motion_;
    SetUps setUps_{};
    int64_t setting_ = 0;  // the setting whose value word comes next; 0: none
    std::map<int64_t, std::string> settings_;
    bool refused_ = false;  // the last command was refused
    bool idle_ = true;      // nothing has moved since power-on
};

}  // namespace

std::unique_ptr<Dialect> CreateCp310Dialect(std::string_view model, SimClock& clock) {
    const int index = FindIgnoringCase(kCp310Models, model);
    if (index < 0) return nullptr;
    return std::make_unique<Cp310Dialect>(clock, index);
}

}  // namespace astrel::sim
