// The Sigma controllers' side of their command language. Every line is
// answered, each answer ended by CR LF: a query with its answer, any other
// command with "OK" once carried out, or "NG" when the controller does not
// know it or cannot read it (nothing of a refused line is carried out).
//
//   "Q:"            the status line of the family (below)
//   "!:"            "B" while an axis moves, else "R"; Mark-102 has no busy query
//   "A:", "M:"      absolute and relative targets: "1" or "2" for one axis or
//                   "w" for every axis, then per axis a sign, "P" and the
//                   magnitude ("A:w-P1500+P200"); the start command moves
//   "G" / "G:"      start (FC-101G / the others)
//   "L:", "L:w"     decelerating stop of every axis ("L:" FC-101G only);
//                   "L:1" and "L:2" stop one axis, "L:E" stops every axis at once
//   "H:" / "H:W+" / "H:W"   return to the origin (FC-101G / Mark-102 / SHOT)
//   "R:" / "R:W"    the present position becomes 0 (FC-101G / SHOT)
//   "D:1F5000", "ACC:1 200"  FC-101G maximum speed and ramp (tenths of a ms)
//   "D:1S100F5000R200"       the others' start speed, maximum speed, ramp (ms)
//   "MODE?", "MODE:REMOTE", "MODE:LOCAL"  FC-101G remote switching
//   "P:H" / "P:R"   SHOT remote / local
//   "T:P1P500", "T:M", "T:S"  SHOT trigger output: set, fire once, stop
//
// Status lines, positions in pulses:
//   FC-101G     "X,Y,0,a,b,0,r": plain decimals; a and b the state of each
//               axis (K at rest, M moving, C on the plus limit, W on the
//               minus limit); r "B" busy or "R" ready
//   Mark-102    "+       100,-       200,K,l,d,K,b": a sign and the
//               magnitude nine wide; l the limit (K none, L X, M Y, W both);
//               d the drive ("B" while an axis moves, else "R") and b the
//               controller ("B" while busy, else "K")
//   SHOT-202    "+       100,-       200,a,l,r", 27 characters: a "X" when
//               the command before was refused, else "K"; l as Mark-102
//   SHOT-204MS  four positions (the third and fourth axis read 0), then
//               ",a,l,r", 49 characters; l K none, 1 X, 2 Y, E both
//
// The remote mode is kept and reported; it does not lock out commands. The
// trigger output has nothing a host can observe, so only its commands are read.
#include "SigmaDialect.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Families as bits, so that a command can name those that take it.
enum Family : unsigned { kFc = 1, kMark = 2, kShot202 = 4, kShot204 = 8 };
constexpr unsigned kShot = kShot202 | kShot204;
constexpr unsigned kNotFc = kMark | kShot;
constexpr unsigned kAll = kFc | kNotFc;

struct ModelRow {
    Family family;
    int axes;
};
// Indexed as kSigmaModels.
constexpr ModelRow kModelRows[] = {{kFc, 2}, {kFc, 1}, {kMark, 2}, {kShot202, 2}, {kShot204, 2}};

enum class Op { kStart, kStop, kStopNow, kStopX, kStopY, kHome, kZero, kRemote, kLocal, kTrigger };

// Commands taken whole, and the families that take them.
struct Word {
    std::string_view text;
    unsigned families;
    Op op;
};
constexpr Word kWords[] = {
    {"G", kFc, Op::kStart},          {"G:", kNotFc, Op::kStart},
    {"L:", kFc, Op::kStop},          {"L:w", kAll, Op::kStop},
    {"L:W", kAll, Op::kStop},        {"L:E", kAll, Op::kStopNow},
    {"L:1", kAll, Op::kStopX},       {"L:2", kAll, Op::kStopY},
    {"H:", kFc, Op::kHome},          {"H:W+", kMark, Op::kHome},
    {"H:W", kShot, Op::kHome},       {"R:", kFc, Op::kZero},
    {"R:W", kShot, Op::kZero},       {"MODE:REMOTE", kFc, Op::kRemote},
    {"MODE:LOCAL", kFc, Op::kLocal}, {"P:H", kShot, Op::kRemote},
    {"P:R", kShot, Op::kLocal},      {"T:M", kShot, Op::kTrigger},
    {"T:S", kShot, Op::kTrigger},
};

// Limit letters by (X on a limit) + 2 * (Y on a limit).
constexpr char kLimitLetters[] = "KLMW";
constexpr char kShot204LimitLetters[] = "K12E";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// `letter` followed by an unsigned decimal number.
bool TakeNumber(std::string_view& text, std::string_view letter, int64_t& value) {
    return TakePrefix(text, letter) && !text.empty() && IsDigit(text.front()) &&
           TakeSigned(text, value);
}

// A sign and the magnitude right-aligned nine wide: "+       100".
std::string SignedField(int32_t value) {
    const int64_t wide = value;
    std::string digits = std::to_string(wide < 0 ? -wide : wide);
    if (digits.size() < 9) digits.insert(0, 9 - digits.size(), ' ');
    return (wide < 0 ? "-" : "+") + digits;
}

class SigmaDialect final : public Dialect {
  public:
    SigmaDialect(SimClock& clock, ModelRow row) : family_(row.family), motion_(clock, row.axes) {}

    std::string Answer(std::string_view line) override {
        const bool query = line == "Q:" || line == "!:" || line == "MODE?";
        const Reply reply = Run(line);
        if (!query) refused_ = !reply;
        return reply.value_or("NG") + std::string(kLineEnd);
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override { return {.hostLineEnd = "\r\n"}; }
    MotionModel& Motion() override { return motion_; }

  private:
    using Reply = std::optional<std::string>;  // nullopt: refused
    struct Pending {
        bool relative;
        int64_t value;
    };

    bool Takes(unsigned families) const { return (families & family_) != 0; }

    Reply Run(std::string_view line) {
        if (line == "Q:") return Status();
        if (line == "!:") return family_ != kMark ? Reply{Busy()} : Reply{};
        if (line == "MODE?" && family_ == kFc) return remote_ ? "REMOTE" : "LOCAL";
        for (const Word& word : kWords) {
            if (line == word.text && Takes(word.families)) return Do(word.op);
        }
        std::string_view args = line;
        if (TakePrefix(args, "A:")) return Targets(args, false);
        if (TakePrefix(args, "M:")) return Targets(args, true);
        if (TakePrefix(args, "D:")) return family_ == kFc ? FcSpeed(args) : Speeds(args);
        if (family_ == kFc && TakePrefix(args, "ACC:")) return FcRamp(args);
        if (Takes(kShot) && TakePrefix(args, "T:")) return TriggerSetting(args);
        return std::nullopt;
    }

    Reply Do(Op op) {
        MotionModel& m = motion_;
        switch (op) {
            case Op::kStart:
                for (size_t axis = 0; axis < pending_.size(); ++axis) Start(static_cast<int>(axis));
                break;
            case Op::kStop:
                EachAxis([&](int axis) { m.Stop(axis); });
                break;
            case Op::kStopNow:
                EachAxis([&](int axis) { m.EmergencyStop(axis); });
                break;
            case Op::kStopX:
                m.Stop(0);
                break;
            case Op::kStopY:
                if (m.AxisCount() < 2) return std::nullopt;
                m.Stop(1);
                break;
            case Op::kHome:
                EachAxis([&](int axis) { m.Home(axis); });
                break;
            case Op::kZero:
                EachAxis([&](int axis) { m.SetPosition(axis, 0); });
                break;
            case Op::kRemote:
            case Op::kLocal:
                remote_ = op == Op::kRemote;
                break;
            case Op::kTrigger:
                break;
        }
        return "OK";
    }

    template <class Apply>
    void EachAxis(Apply apply) {
        for (int axis = 0; axis < motion_.AxisCount(); ++axis) apply(axis);
    }

    bool AnyMoving() const {
        for (int axis = 0; axis < motion_.AxisCount(); ++axis) {
            if (motion_.Moving(axis)) return true;
        }
        return false;
    }
    std::string Busy() const { return AnyMoving() ? "B" : "R"; }

    void Start(int axis) {
        auto& pending = pending_[static_cast<size_t>(axis)];
        if (!pending) return;
        if (pending->relative) {
            motion_.MoveBy(axis, pending->value);
        } else {
            motion_.MoveTo(axis, pending->value);
        }
        pending.reset();
    }

    // "1+P100", "2-P5" or "w+P1-P2" (a piece for every axis): kept until the start command.
    Reply Targets(std::string_view args, bool relative) {
        std::vector<int> axes;
        if (TakePrefix(args, "1")) {
            axes = {0};
        } else if (TakePrefix(args, "2")) {
            axes = {1};
        } else if (TakePrefix(args, "w") || TakePrefix(args, "W")) {
            EachAxis([&](int axis) { axes.push_back(axis); });
        } else {
            return std::nullopt;
        }
        std::vector<Pending> values;
        for (const int axis : axes) {
            if (axis >= motion_.AxisCount() || args.empty()) return std::nullopt;
            const char sign = args.front();
            args.remove_prefix(1);
            int64_t magnitude = 0;
            if ((sign != '+' && sign != '-') || !TakeNumber(args, "P", magnitude)) {
                return std::nullopt;
            }
            values.push_back({relative, sign == '-' ? -magnitude : magnitude});
        }
        if (!args.empty()) return std::nullopt;
        for (size_t i = 0; i < axes.size(); ++i) pending_[static_cast<size_t>(axes[i])] = values[i];
        return "OK";
    }

    // Controller axis "1" or "2", as the motion's axis 0 or 1.
    bool TakeAxis(std::string_view& args, int& axis) const {
        if (args.empty() || (args.front() != '1' && args.front() != '2')) return false;
        axis = args.front() - '1';
        args.remove_prefix(1);
        return axis < motion_.AxisCount();
    }

    // FC-101G "1F5000": the maximum speed.
    Reply FcSpeed(std::string_view args) {
        int axis = 0;
        int64_t max = 0;
        if (!TakeAxis(args, axis) || !TakeNumber(args, "F", max) || !args.empty() || max < 1) {
            return std::nullopt;
        }
        AxisSpeeds speeds = motion_.Speeds(axis);
        speeds.maxSpeed = SaturateToInt32(max);
        motion_.SetSpeeds(axis, speeds);
        return "OK";
    }

    // FC-101G "1 200": the ramp time in tenths of a millisecond.
    Reply FcRamp(std::string_view args) {
        int axis = 0;
        int64_t tenths = 0;
        if (!TakeAxis(args, axis) || !TakeNumber(args, " ", tenths) || !args.empty()) {
            return std::nullopt;
        }
        AxisSpeeds speeds = motion_.Speeds(axis);
        speeds.accelMs = SaturateToInt32(tenths / 10);
        motion_.SetSpeeds(axis, speeds);
        return "OK";
    }

    // "1S100F5000R200": start speed, maximum speed and ramp time in ms.
    Reply Speeds(std::string_view args) {
        int axis = 0;
        int64_t start = 0, max = 0, ramp = 0;
        if (!TakeAxis(args, axis) || !TakeNumber(args, "S", start) || !TakeNumber(args, "F", max) ||
            !TakeNumber(args, "R", ramp) || !args.empty() || max < 1 || start > max) {
            return std::nullopt;
        }
        motion_.SetSpeeds(axis,
                          {SaturateToInt32(start), SaturateToInt32(max), SaturateToInt32(ramp)});
        return "OK";
    }

    // "P1P500": the trigger's two settings.
    static Reply TriggerSetting(std::string_view args) {
        int64_t first = 0, second = 0;
        if (!TakeNumber(args, "P", first) || !TakeNumber(args, "P", second) || !args.empty()) {
            return std::nullopt;
        }
        return "OK";
    }

    Reply Status() const {
        const std::string ready = Busy();
        if (family_ == kFc) {
            return Join({std::to_string(motion_.Position(0)), std::to_string(motion_.Position(1)),
                         "0", FcState(0), FcState(1), "0", ready},
                        ",");
        }
        std::vector<std::string> pieces = {SignedField(motion_.Position(0)),
                                           SignedField(motion_.Position(1))};
        const size_t onLimits = OnLimit(0) + 2 * OnLimit(1);
        const std::string limit(
            1, (family_ == kShot204 ? kShot204LimitLetters : kLimitLetters)[onLimits]);
        const std::string acknowledged = refused_ ? "X" : "K";
        if (family_ == kMark) {
            pieces.insert(pieces.end(), {"K", limit, ready, "K", AnyMoving() ? "B" : "K"});
        } else if (family_ == kShot202) {
            pieces.insert(pieces.end(), {acknowledged, limit, ready});
        } else {
            pieces.insert(pieces.end(),
                          {SignedField(0), SignedField(0), acknowledged, limit, ready});
        }
        return Join(pieces, ",");
    }

    size_t OnLimit(int axis) const { return motion_.AtLimit(axis) != Limit::kNone ? 1 : 0; }

    std::string FcState(int axis) const {
        if (motion_.Moving(axis)) return "M";
        switch (motion_.AtLimit(axis)) {
            case Limit::kPlus:
                return "C";
            case Limit::kMinus:
                return "W";
            default:
                return "K";
        }
    }

    const Family family_;
    MotionModel motion_;
    std::array<std::optional<Pending>, 2> pending_{};
    bool refused_ = false;  // the last command other than a query was refused
    bool remote_ = false;
};

}  // namespace

std::unique_ptr<Dialect> CreateSigmaDialect(std::string_view model, SimClock& clock) {
    const int index = FindIgnoringCase(kSigmaModels, model);
    if (index < 0) return nullptr;
    return std::make_unique<SigmaDialect>(clock, kModelRows[index]);
}

}  // namespace astrel::sim
