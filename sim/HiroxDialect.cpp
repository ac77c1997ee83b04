// The Hirox controller's side of its command language. A command is a word
// beginning with "@", the axis number (1 up to the number of axes) and the
// command's arguments, all separated by spaces:
//
//   @STS n ?           the status of axis n
//   @PTP n mode value  a move: mode bit 15 ("8000H") makes it absolute, else relative
//   @JGF n, @JGR n     jog forward, or in reverse, until stopped or at a limit
//   @DCL n time        decelerate to a stop (time -1: the ramp already set)
//   @EMR n             stop at once
//   @ORG n             return to the origin; "@ORG n -1" makes the present position 0
//   @POS n value       sets the position counter; "@POS n OFF ?" is taken and ignored
//   @SYS n p v         sets parameter p of axis n; the CT-7 controllers also take a
//                      list "v, v, ..." for parameters p, p+1, ...
//   @INI n k, @MOD m   taken and ignored (initialisation steps, operating mode)
//
// The status answer:
//   @STS n STS=<hex>H INP=0H OUT=0H POS=<position> ENC=<encoder> SPD=<speed>
// STS bits: 30 busy, 2 ready (the simulated drives are always ready), 16
// error (standing on a travel limit) with 4 for the plus and 5 for the minus
// limit. SPD is the axis's maximum speed while it moves and 0 at rest. ENC is
// the encoder, which is not the position counter: it trails a moving axis by
// a few counts and rests one count above the counter.
//
// The status query is answered with the status line and every other command
// the controller carries out with "OK"; the drivers drop what is waiting
// before each command, and a reader looking for a status line passes over
// lines that do not begin with "@". A line the controller cannot carry out
// (an unknown command, an axis it does not have, a value it cannot read or
// take) is answered "ERR" and changes nothing. Parameters 4 (maximum speed),
// 5 (start speed) and 7 (acceleration time) shape the motion, and the speeds
// must be 1 or more; the others are taken and ignored.
#include "HiroxDialect.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "SimText.h"

namespace astrel::sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRefusal = "ERR\r\n";
constexpr std::string_view kDone = "OK\r\n";
constexpr int kModelAxes[] = {2, 1, 3};
constexpr bool kModelTakesLists[] = {true, true, false};

constexpr uint32_t kBusyBit = 1u << 30;
constexpr uint32_t kErrorBit = 1u << 16;
constexpr uint32_t kReadyBit = 1u << 2;
constexpr uint32_t kPlusLimitBit = 1u << 4;
constexpr uint32_t kMinusLimitBit = 1u << 5;
constexpr uint32_t kAbsoluteMode = 0x8000;
constexpr int64_t kEncoderLag = 2;     // counts behind a moving axis
constexpr int64_t kEncoderOffset = 1;  // counts above an axis at rest

enum Parameter : int64_t { kMaxSpeed = 4, kStartSpeed = 5, kAccelTime = 7 };

using Words = std::vector<std::string_view>;

Words SplitWords(std::string_view line) {
    Words words;
    while (!line.empty()) {
        const size_t end = std::min(line.find(' '), line.size());
        if (end > 0) words.push_back(line.substr(0, end));
        line.remove_prefix(std::min(end + 1, line.size()));
    }
    return words;
}

// A whole word as a signed decimal number.
bool ReadNumber(std::string_view word, int64_t& value) {
    return TakeSigned(word, value) && word.empty();
}

// A mode word: hexadecimal digits, optionally followed by "H".
bool ReadMode(std::string_view word, uint32_t& mode) {
    if (word.ends_with('H')) word.remove_suffix(1);
    if (word.empty() || word.size() > 8) return false;
    mode = 0;
    for (const char c : word) {
        const size_t digit = std::string_view("0123456789ABCDEF").find(c);
        if (digit == std::string_view::npos) return false;
        mode = mode * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

void SkipSpaces(std::string_view& text) {
    while (TakePrefix(text, " ")) {
    }
}

class HiroxDialect final : public Dialect {
  public:
    HiroxDialect(SimClock& clock, int axes, bool takesLists)
        : motion_(clock, axes), takesLists_(takesLists) {}

    std::string Answer(std::string_view line) override {
        const Words words = SplitWords(line);
        const auto reply = Run(words);
        if (!reply) return std::string(kRefusal);
        return reply->empty() ? std::string(kDone) : *reply;
    }
    std::string_view LineEnd() const override { return kLineEnd; }
    LineSettings Line() const override {
        return {
            .baud = 38400, .stopBits = 2, .flowControl = FlowControl::kRtsCts, .hostLineEnd = "\r"};
    }
    MotionModel& Motion() override { return motion_; }

  private:
    using Reply = std::optional<std::string>;  // nullopt: the line is refused

    template <class Action>
    static Reply Do(Action action) {
        action();
        return std::string();
    }

    Reply Run(const Words& words) {
        int64_t value = 0;
        if (words.size() == 2 && words[0] == "@MOD" && ReadNumber(words[1], value)) return "";
        if (words.size() < 2 || !ReadNumber(words[1], value) || value < 1 ||
            value > motion_.AxisCount()) {
            return std::nullopt;
        }
        const int axis = static_cast<int>(value) - 1;  // the motion model counts from 0
        const std::string_view verb = words[0];
        const std::span<const std::string_view> args = std::span(words).subspan(2);
        const bool none = args.empty();
        const bool number = args.size() == 1 && ReadNumber(args[0], value);
        MotionModel& m = motion_;
        if (verb == "@STS" && args.size() == 1 && args[0] == "?") return Status(axis);
        if (verb == "@PTP" && args.size() == 2) return Move(axis, args[0], args[1]);
        if (verb == "@JGF" && none) return Do([&] { m.Jog(axis, 1); });
        if (verb == "@JGR" && none) return Do([&] { m.Jog(axis, -1); });
        if (verb == "@DCL" && number) return Do([&] { m.Stop(axis); });
        if (verb == "@EMR" && none) return Do([&] { m.EmergencyStop(axis); });
        if (verb == "@ORG" && none) return Do([&] { m.Home(axis); });
        if (verb == "@ORG" && number && value == -1) return Do([&] { m.SetPosition(axis, 0); });
        if (verb == "@POS" && number) return Do([&] { m.SetPosition(axis, value); });
        if (verb == "@POS" && args.size() == 2 && args[0] == "OFF" && args[1] == "?") return "";
        if (verb == "@INI" && number) return "";
        if (verb == "@SYS" && args.size() >= 2) return Parameters(axis, args);
        return std::nullopt;
    }

    std::string Status(int axis) const {
        const bool moving = motion_.Moving(axis);
        uint32_t sts = kReadyBit | (moving ? kBusyBit : 0);
        const Limit limit = motion_.AtLimit(axis);
        if (limit != Limit::kNone) {
            sts |= kErrorBit | (limit == Limit::kPlus ? kPlusLimitBit : kMinusLimitBit);
        }
        const int32_t position = motion_.Position(axis);
        const int64_t encoder =
            int64_t{position} + (moving ? -Direction(axis) * kEncoderLag : kEncoderOffset);
        const int32_t speed = moving ? motion_.Speeds(axis).maxSpeed : 0;
        char line[128];
        std::snprintf(line, sizeof line, "@STS %d STS=%XH INP=0H OUT=0H POS=%d ENC=%d SPD=%d",
                      axis + 1, sts, position, SaturateToInt32(encoder), speed);
        return line + std::string(kLineEnd);
    }

    // +1 or -1: the way a moving axis runs.
    int64_t Direction(int axis) const {
        return motion_.Target(axis) >= motion_.Position(axis) ? 1 : -1;
    }

    Reply Move(int axis, std::string_view modeWord, std::string_view valueWord) {
        uint32_t mode = 0;
        int64_t value = 0;
        if (!ReadMode(modeWord, mode) || !ReadNumber(valueWord, value)) return std::nullopt;
        if ((mode & kAbsoluteMode) != 0) {
            motion_.MoveTo(axis, value);
        } else {
            motion_.MoveBy(axis, value);
        }
        return "";
    }

    // "p v" sets parameter p; "p v, v, ..." sets p, p+1, ... where lists are taken.
    Reply Parameters(int axis, std::span<const std::string_view> args) {
        int64_t first = 0;
        if (!ReadNumber(args[0], first) || first < 0) return std::nullopt;
        std::string joined;
        for (const std::string_view word : args.subspan(1)) joined.append(word).append(" ");
        std::string_view text = joined;
        std::vector<int64_t> values;
        for (;;) {
            int64_t value = 0;
            if (!TakeSigned(text, value)) return std::nullopt;
            values.push_back(value);
            SkipSpaces(text);
            if (text.empty()) break;
            if (!TakePrefix(text, ",")) return std::nullopt;
            SkipSpaces(text);
        }
        if (values.size() > 1 && !takesLists_) return std::nullopt;
        AxisSpeeds speeds = motion_.Speeds(axis);
        for (size_t i = 0; i < values.size(); ++i) {
            const int64_t parameter = first + static_cast<int64_t>(i);
            const int32_t value = SaturateToInt32(values[i]);
            if ((parameter == kMaxSpeed || parameter == kStartSpeed) && value < 1) {
                return std::nullopt;
            }
            if (parameter == kMaxSpeed) speeds.maxSpeed = value;
            if (parameter == kStartSpeed) speeds.startSpeed = value;
            if (parameter == kAccelTime) speeds.accelMs = value;
        }
        motion_.SetSpeeds(axis, speeds);
        return "";
    }

    MotionModel motion_;
    bool takesLists_;
};

}  // namespace

std::unique_ptr<Dialect> CreateHiroxDialect(std::string_view model, SimClock& clock) {
    const int index = FindIgnoringCase(kHiroxModels, model);
    if (index < 0) return nullptr;
    return std::make_unique<HiroxDialect>(clock, kModelAxes[index], kModelTakesLists[index]);
}

}  // namespace astrel::sim
