// QT driver: axis assignment, the use-axis mask, speeds, numbered controller
// parameters, the direction parameter 18, and the operations that no export
// reaches.
#include <cstring>
#include <string_view>

#include "driver/ReplyFields.h"
#include "makers/CAstrelQT.h"

namespace {

constexpr uint16_t kNoAxis = 0xFFFF;     // SetAxisNum: none, or automatic
constexpr uint16_t kHighestAxisNum = 3;  // SetAxisNum assigns "A" to "D" only
constexpr int16_t kDirectionParameter = 18;
constexpr uint32_t kDirectionPauseMs = 200;
constexpr int32_t kReadFailed = 6;

}  // namespace

// ---------------------------------------------------------------- axis assignment

int32_t CAstrelQT::SetAxisNum(uint16_t x, uint16_t y, uint16_t z) {
    const uint16_t requested[kStageAxes] = {x, y, z};
    int16_t numbers[kStageAxes];
    for (int i = 0; i < kStageAxes; ++i) {
        if (requested[i] > kHighestAxisNum && requested[i] != kNoAxis) return 0;
        numbers[i] = requested[i] == kNoAxis ? kUnassigned : static_cast<int16_t>(requested[i]);
    }
    if (modelIndex_ == kQT2 || modelIndex_ == kQT3) {
        // 0xFFFF leaves the axis unassigned; at least one assigned, all distinct.
        int assigned = 0;
        for (int i = 0; i < kStageAxes; ++i) {
            if (numbers[i] == kUnassigned) continue;
            ++assigned;
            for (int j = i + 1; j < kStageAxes; ++j) {
                if (numbers[j] == numbers[i]) return 0;
            }
        }
        if (assigned == 0) return 0;
        std::memcpy(axisNumbers_, numbers, sizeof axisNumbers_);
        SortAxisOrder();
        return 1;
    }
    // "QT1" and "MSC2": 0xFFFF asks for the lowest number that neither other
    // axis has (an axis filled earlier counts with its new number). Explicit
    // duplicates are accepted and the axis order is left as it is.
    std::memcpy(axisNumbers_, numbers, sizeof axisNumbers_);
    for (int i = 0; i < kStageAxes; ++i) {
        if (axisNumbers_[i] != kUnassigned) continue;
        const int16_t other1 = axisNumbers_[(i + 1) % kStageAxes];
        const int16_t other2 = axisNumbers_[(i + 2) % kStageAxes];
        for (int16_t candidate = 0; candidate <= static_cast<int16_t>(kHighestAxisNum);
             ++candidate) {
            if (candidate != other1 && candidate != other2) {
                axisNumbers_[i] = candidate;
                break;
            }
        }
    }
    return 1;
}

int32_t CAstrelQT::SetUseAxisMask(int32_t mask) {
    const auto low = static_cast<uint16_t>(mask);
    if (static_cast<uint16_t>(low - 1) > 6) return 0;  // only 1 to 7
    useAxisMask_ = low;
    return 1;
}

// ---------------------------------------------------------------- speeds

int32_t CAstrelQT::SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) {
    PurgeInput();
    if (!Answers(axis)) return 0;
    return Send(CommandLine("D:%c%d,%d,%d", Letter(axis), start, max, accel));
}

int32_t CAstrelQT::SetAxisSpeedParam(int16_t axis, int32_t first, int32_t second, int32_t third) {
    PurgeInput();
    if (!Answers(axis)) return 0;
    const char letter = Letter(axis);
    return Send(CommandLine("P:08%c%d", letter, first)) != 0 &&
                   Send(CommandLine("P:09%c%d", letter, second)) != 0 &&
                   Send(CommandLine("P:10%c%d", letter, third)) != 0
               ? 1
               : 0;
}

// ---------------------------------------------------------------- parameters

int32_t CAstrelQT::ReadParameter(int16_t number, Reply* reply) {
    PurgeInput();
    if (Send(CommandLine("P:%02dR", number)) == 0) return 0;
    Reply line;
    if (!ReadLastReply(line)) return kReadFailed;  // no resend
    if (reply != nullptr) *reply = line;
    return 1;
}

int32_t CAstrelQT::SetStageDirection(int32_t axis, int32_t direction) {
    // Parameter 18 is written back for the axes the model carries, so only
    // those can be changed.
    if (!IsStageAxis(axis) || !ModelCarries(axis) || !IsAssigned(axis)) return 0;
    Reply reply;
    if (ReadParameter(kDirectionParameter, &reply) != 1) return 0;

    // One value per controller axis A to F. Every value written back must
    // come from the reply: a reply without it writes nothing.
    int32_t values[kControllerAxes] = {};
    bool known[kControllerAxes] = {};
    std::string_view fields[kControllerAxes];
    const size_t count = astrel::SplitFields(reply.View(), ',', fields, kControllerAxes);
    for (size_t i = 0; i < count; ++i) known[i] = astrel::ReadLeadingDecimal(fields[i], values[i]);
    values[axisNumbers_[axis]] = direction == -1 ? 1 : 0;
    known[axisNumbers_[axis]] = true;

    AxisPieces pieces;
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (!ModelCarries(stageAxis) || !IsAssigned(stageAxis)) continue;
        if (!known[axisNumbers_[stageAxis]]) return 0;
        pieces[stageAxis] = Piece(stageAxis, "%c%d", values[axisNumbers_[stageAxis]]);
    }
    Pause(kDirectionPauseMs);
    if (Send(JoinAxisPieces("P:18", pieces)) == 0) return 0;
    Pause(kDirectionPauseMs);
    return 1;
}

// ---------------------------------------------------------------- operations no export reaches

int32_t CAstrelQT::WriteParameter(int16_t number, const char* value) {
    PurgeInput();
    // A value text too long for one command line is not sent (result 0).
    if (Send(CommandLine("P:%02d,%s", number, value != nullptr ? value : "")) == 0) return 0;
    if (number >= 51 && number <= 53) {
        if (SendData("F:") == 0) return 0;
        if (SendData("RESTA:") == 0) return 0;
    }
    return 1;
}

int32_t CAstrelQT::ReadSpeedSelect(uint16_t* x, uint16_t* y, uint16_t* z) {
    PurgeInput();
    if (SendData("S:R") == 0) return 0;
    Reply reply;
    if (!ReadLastReply(reply)) return kReadFailed;
    uint16_t* const outputs[kStageAxes] = {x, y, z};
    for (uint16_t* out : outputs) {
        if (out != nullptr) *out = 0xFFFF;
    }
    std::string_view fields[kControllerAxes];
    const size_t count = astrel::SplitFields(reply.View(), ',', fields, kControllerAxes);
    for (size_t i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!astrel::ReadLeadingDecimal(fields[i], value)) continue;
        for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
            if (outputs[stageAxis] != nullptr && axisNumbers_[stageAxis] == static_cast<int>(i)) {
                // A 16-bit output keeps the low 16 bits of the (saturated)
                // 32-bit number: out-of-range values wrap, deliberately.
                *outputs[stageAxis] = static_cast<uint16_t>(value);
            }
        }
    }
    return 1;
}

int32_t CAstrelQT::SetSpeedSelect(uint16_t x, uint16_t y, uint16_t z) {
    PurgeInput();
    const int values[kStageAxes] = {x, y, z};
    return Send(JoinAxisPieces(
        "S:", CarriedPieces("%c%02d", values, [](int, int value) { return value <= 15; })));
}

int32_t CAstrelQT::MoveABSXY(int32_t x, int32_t y) {
    PurgeInput();
    int unassigned = 0;
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (!IsAssigned(stageAxis)) ++unassigned;
    }
    if (modelIndex_ == kQT1 || unassigned >= 2) return 0;
    return Send(JoinAxisPieces("BGO:", {Piece(kX, "%c%d", x), Piece(kY, "%c%d", y)}));
}
