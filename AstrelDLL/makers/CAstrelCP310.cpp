// CP-310 driver: model selection, the "Q:", "Q2:" and "!:" queries, motion,
// homing, jog, speeds and direction settings.
//
// Queries resend once after a failed read. Motion and setting commands are
// only written: whatever the controller answers to them waits in the input
// until the next query drops it.
#include "makers/CAstrelCP310.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "driver/HostNumbers.h"
#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

namespace {

struct ModelRow {
    const char* name;
    int axisCount;
    // The setting that holds each axis's direction, and its two value words.
    int32_t directionSettings[CAstrelCP310::kMaxAxes];
    const char* normalWord;
    const char* reversedWord;
};

// Indexed by model index.
constexpr ModelRow kModels[] = {
    {"CP-310", 3, {13, 34, 55}, "POSZ", "NEGZ"},
    {"CP-500", 2, {58, 60, 0}, "0Z", "1Z"},  // no Z: its setting is never written
};

// GetStageStatus's own code for the "I" state.
constexpr int32_t kStatusStateI = 2;
// Asks IsStopByLimit about every axis.
constexpr uint16_t kAnyAxis = 0xFFFF;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A position piece: a sign character, then decimal digits up to the first
// other character. "-" negates; any other sign character is passed over. A
// piece that starts with a digit has lost its sign character: it is no
// position, and neither is one without a digit. A magnitude beyond 32 bits
// saturates.
bool ReadPosition(std::string_view piece, int32_t& value) {
    if (piece.size() < 2 || IsDigit(piece[0]) || !IsDigit(piece[1])) return false;
    return piece[0] == '-' ? astrel::ReadLeadingDecimal(piece, value)
                           : astrel::ReadLeadingDecimal(piece.substr(1), value);
}

}  // namespace

// ---------------------------------------------------------------- model

int32_t CAstrelCP310::SelectStage() {
    const int found = astrel::FindModel(kModels, StageName());
    if (found < 0) return 0;
    modelIndex_ = found;
    return 1;
}

int CAstrelCP310::AxisCount() const {
    // Never more axes than the reply members hold.
    return std::min(kModels[modelIndex_].axisCount, kMaxAxes);
}

// ---------------------------------------------------------------- replies

void CAstrelCP310::ClearReply() {
    std::memset(replyPosition_, 0, sizeof replyPosition_);
    std::memset(replyLimit_, 0, sizeof replyLimit_);
}

size_t CAstrelCP310::SplitReply(std::string_view reply, Pieces& pieces) {
    ClearReply();
    const size_t count = astrel::SplitFields(reply, ',', pieces, kMaxPieces);
    if (count < static_cast<size_t>(AxisCount())) return 0;
    for (int axis = 0; axis < AxisCount(); ++axis) {
        if (!ReadPosition(pieces[axis], replyPosition_[axis])) return 0;
    }
    return count;
}

bool CAstrelCP310::ParsePositionReply(std::string_view reply) {
    Pieces pieces;
    const size_t count = SplitReply(reply, pieces);
    const auto n = static_cast<size_t>(AxisCount());
    // The limit piece is one digit 0 to 7: a bit per axis, X the lowest.
    if (count < n + 2 || pieces[n] != "K" || pieces[n + 1].size() != 1 || pieces[n + 1][0] < '0' ||
        pieces[n + 1][0] > '7') {
        ClearReply();
        return false;
    }
    const auto bits = static_cast<uint32_t>(pieces[n + 1][0] - '0');
    for (size_t axis = 0; axis < n; ++axis) {
        replyLimit_[axis] = (bits >> axis) & 1u;
    }
    return true;
}

int32_t CAstrelCP310::ParseStatusReply(std::string_view reply) {
    Pieces pieces;
    const size_t count = SplitReply(reply, pieces);
    const auto n = static_cast<size_t>(AxisCount());
    if (count <= n) return kStatusNoReply;
    if (pieces[n] != "K") return kStatusError;
    // A limit piece per axis, then the state piece.
    if (count < 2 * n + 2) return kStatusNoReply;
    bool anyLimit = false;
    for (size_t axis = 0; axis < n; ++axis) {
        replyLimit_[axis] = pieces[n + 1 + axis].find_first_of("+-") != std::string_view::npos;
        anyLimit = anyLimit || replyLimit_[axis] != 0;
    }
    const std::string_view state = pieces[2 * n + 1];
    if (state == "B") return kStatusMoving;
    if (state == "I") return kStatusStateI;
    return anyLimit ? kStatusLimit : kStatusAtRest;
}

// ---------------------------------------------------------------- queries

bool CAstrelCP310::QueryPositions() {
    ClearReply();
    Reply reply;
    return Query(CommandLine("Q:"), reply, Resend::kOnce) && ParsePositionReply(reply.View());
}

int32_t CAstrelCP310::GetStageStatus() {
    Reply reply;
    const int32_t code = Query(CommandLine("Q2:"), reply, Resend::kOnce)
                             ? ParseStatusReply(reply.View())
                             : kStatusNoReply;
    ClearReply();
    return code;
}

CAstrelBase::Motion CAstrelCP310::QueryMotion() {
    // "R" (ready) and "I" are at rest; any other answer means busy. No answer,
    // or an empty one, says nothing.
    Reply reply;
    if (!Query(CommandLine("!:"), reply, Resend::kOnce) || reply.View().empty()) {
        return kMotionUnknown;
    }
    return reply.View() == "R" || reply.View() == "I" ? kMotionAtRest : kMotionMoving;
}

int32_t CAstrelCP310::IsStopByLimit(uint16_t axis) {
    const bool anyAxis = axis == kAnyAxis;
    if (!anyAxis && !HasAxis(axis)) return astrel::NoSuchAxis(axis);
    if (!QueryPositions()) return Unanswered();
    int32_t stopped = 0;
    for (int stageAxis = 0; stageAxis < AxisCount(); ++stageAxis) {
        if ((anyAxis || stageAxis == axis) && replyLimit_[stageAxis] != 0) stopped = 1;
    }
    ClearReply();
    return stopped;
}

int32_t CAstrelCP310::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    if (x == nullptr || y == nullptr || z == nullptr) return 0;
    if (!QueryPositions()) return 0;
    // "CP-500" gives no Z: it reads as 0.
    *x = replyPosition_[0];
    *y = replyPosition_[1];
    *z = replyPosition_[2];
    ClearReply();
    return 1;
}

// ---------------------------------------------------------------- motion

int32_t CAstrelCP310::SendAndGo(const CommandLine& setUp) {
    return Send(setUp) != 0 && SendData("G:") != 0 ? 1 : 0;
}

int32_t CAstrelCP310::SendMove(const char* verb, int32_t x, int32_t y, int32_t z) {
    PurgeInput();
    const int32_t values[kMaxAxes] = {x, y, z};
    CommandLine line("%s", verb);
    for (int axis = 0; axis < AxisCount(); ++axis) {
        line.Add("%cP%" PRIu32, astrel::SignOf(values[axis]), astrel::Magnitude(values[axis]));
    }
    return SendAndGo(line);
}

int32_t CAstrelCP310::MoveABS(int32_t x, int32_t y, int32_t z) {
    return SendMove("A:W", x, y, z);
}

int32_t CAstrelCP310::MoveREL(int32_t x, int32_t y, int32_t z) {
    return SendMove("M:W", x, y, z);
}

int32_t CAstrelCP310::MoveJOG(int16_t x, int16_t y, int16_t z) {
    PurgeInput();
    // Only the sign of a value counts; a model without Z holds it.
    const int32_t d[kMaxAxes] = {astrel::Direction(x), astrel::Direction(y),
                                 AxisCount() > 2 ? astrel::Direction(z) : 0};
    for (int axis = 0; axis < AxisCount(); ++axis) {
        if (d[axis] == 0 && Send(CommandLine("L:%d", axis + 1)) == 0) return 0;
    }
    // One axis alone: "J:<n><sign>". X and Y together: "J:W" with their signs
    // and Z's when it moves too. The controller has no line for X with Z, Y
    // with Z, or no axis at all.
    CommandLine jog;
    const int moving = (d[0] != 0) + (d[1] != 0) + (d[2] != 0);
    if (moving == 1) {
        const int axis = d[0] != 0 ? 0 : d[1] != 0 ? 1 : 2;
        jog.Add("J:%d%c", axis + 1, astrel::SignOf(d[axis]));
    } else if (d[0] != 0 && d[1] != 0) {
        jog.Add("J:W%c%c", astrel::SignOf(d[0]), astrel::SignOf(d[1]));
        if (d[2] != 0) jog.Add("%c", astrel::SignOf(d[2]));
    }
    if (jog.Empty()) return 0;
    return SendAndGo(jog);
}

int32_t CAstrelCP310::MoveOriginPosition() {
    for (int axis = 0; axis < AxisCount(); ++axis) {
        if (Send(CommandLine("H:%d", axis + 1)) == 0) return 0;
    }
    return 1;
}

int32_t CAstrelCP310::StopMove() {
    return SendData("L:E");
}

int32_t CAstrelCP310::StopNow() {
    return SendData("L:E");
}

// ---------------------------------------------------------------- settings

int32_t CAstrelCP310::SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) {
    if (!HasAxis(axis)) return 0;
    return Send(CommandLine("D:%dS%" PRId32 "F%" PRId32 "R%" PRId32, axis + 1, start, max, accel));
}

int32_t CAstrelCP310::SetStageDirection(int32_t axis, int32_t direction) {
    if (!HasAxis(axis)) return 0;
    const ModelRow& model = kModels[modelIndex_];
    if (Send(CommandLine("F:M%" PRId32 "D", model.directionSettings[axis])) == 0) return 0;
    return SendData(direction == -1 ? model.reversedWord : model.normalWord);
}
