// Sigma driver: models and families, the status and busy queries and the
// operations built on them.
#include "makers/CAstrelSigma.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "driver/HostNumbers.h"
#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

namespace {

struct ModelRow {
    const char* name;
    int32_t family;
    int16_t axisCount;
};

// Indexed by the catalogue's stage index.
constexpr ModelRow kModels[] = {
    {"FC-101G_2", CAstrelSigma::kFC101G, 2},     {"FC-101G_1", CAstrelSigma::kFC101G, 1},
    {"Mark-102", CAstrelSigma::kMark102, 2},     {"SHOT-202", CAstrelSigma::kShot202, 2},
    {"SHOT-204MS", CAstrelSigma::kShot204MS, 2},
};

// The most pieces any family's status line has.
constexpr size_t kMaxStatusPieces = 7;

bool IsAcknowledgement(std::string_view line) {
    return line.starts_with("OK") || line.starts_with("NG");
}

// A position piece: a plain decimal, or a sign character and a decimal (any
// character but '-' leaves the number as it is).
bool ReadPosition(std::string_view piece, bool signedPiece, int32_t& value) {
    if (!signedPiece) return astrel::ReadLeadingDecimal(piece, value);
    int32_t number = 0;
    if (!astrel::ReadLeadingDecimal(piece.substr(1), number)) return false;
    value = piece.front() == '-' ? astrel::WrappingProduct(number, -1) : number;
    return true;
}

bool IsOneOf(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

}  // namespace

// Indexed by family.
const CAstrelSigma::FamilyRow& CAstrelSigma::Row() const {
    static constexpr FamilyRow kFamilies[] = {
        // min length, pieces, signed, state 1, state 2, ready; start, stop, origin, zero
        {0, 7, false, 3, 4, 6, "G", "L:", "H:", "R:"},        // FC-101G
        {0, 7, true, 3, 4, 6, "G:", "L:w", "H:W+", nullptr},  // Mark-102
        {27, 5, true, 2, 3, 4, "G:", "L:w", "H:W", "R:W"},    // SHOT-202
        {49, 7, true, 4, 5, 6, "G:", "L:w", "H:W", "R:W"},    // SHOT-204MS
    };
    return kFamilies[family_];
}

// ---------------------------------------------------------------- models

int32_t CAstrelSigma::SelectStage() {
    const int found = astrel::FindModel(kModels, StageName());
    if (found < 0) return 0;
    family_ = kModels[found].family;
    axisCount_ = kModels[found].axisCount;
    return 1;
}

int32_t CAstrelSigma::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    return astrel::ListModel(kModels, index, axisCount, name);
}

int32_t CAstrelSigma::GetSpeedUnitList(int16_t index, char* name) {
    return astrel::ListUnit("pps", 1, index, name);
}

int32_t CAstrelSigma::GetAcclUnitList(int16_t index, char* name) {
    return astrel::ListUnit("msec", 1, index, name);
}

// ---------------------------------------------------------------- reading answers

bool CAstrelSigma::ReadStatusLine(Reply& answer) {
    PurgeInput();
    if (SendData("Q:") == 0) return false;
    uint32_t sentAt = Now();
    bool mayResend = true;
    for (int passed = 0;;) {
        std::memset(answer.text, 0, sizeof answer.text);
        if (ReceiveData(answer.text, kReplySize, nullptr) == 0) {
            if (!mayResend || SendData("Q:") == 0) return false;
            mayResend = false;
            sentAt = Now();
            continue;
        }
        const std::string_view line = answer.View();
        if (!IsAcknowledgement(line) && line.size() >= Row().statusMinLength) return true;
        // A controller that keeps sending lines other than the answer is given up on.
        if (++passed > kMaxPassedOverLines || RemainingMs(sentAt, TimeOutMs()) == 0) return false;
    }
}

int32_t CAstrelSigma::Acknowledged(const CommandLine& command) {
    Reply reply;
    if (!Query(command, reply)) return 0;
    const std::string_view line = reply.View();
    if (line.starts_with("NG")) Refused(line);
    return line.empty() || line.starts_with("NG") ? 0 : 1;
}

// ---------------------------------------------------------------- status query

int32_t CAstrelSigma::QueryStatus() {
    Reply reply;
    if (!ReadStatusLine(reply) || !ParseStatus(reply.View())) {
        return kStatusNoReply;
    }
    return StatusFromStates();
}

bool CAstrelSigma::ParseStatus(std::string_view line) {
    const FamilyRow& row = Row();
    std::string_view pieces[kMaxStatusPieces];
    if (astrel::SplitFields(line, ',', pieces, kMaxStatusPieces) < row.statusPieces) return false;
    int32_t x = 0, y = 0;
    if (!ReadPosition(pieces[0], row.signedPositions, x) ||
        !ReadPosition(pieces[1], row.signedPositions, y)) {
        return false;
    }
    xPosition_ = x;
    yPosition_ = y;
    // Pieces are never empty: each gives its first character.
    state1_ = pieces[row.state1Piece].front();
    state2_ = pieces[row.state2Piece].front();
    readyMark_ = pieces[row.readyPiece].front();
    return true;
}

int32_t CAstrelSigma::StatusFromStates() const {
    const bool busy = readyMark_ == 'B';
    switch (family_) {
        case kFC101G: {
            // Each axis's state in axis order; the first that is not 'K' decides.
            const char states[] = {state1_, axisCount_ == 2 ? state2_ : 'K'};
            for (const char state : states) {
                if (state == 'K') continue;
                if (state == 'M') return kStatusMoving;
                return IsOneOf(state, "CW") ? kStatusLimit : kStatusError;
            }
            return kStatusAtRest;
        }
        case kMark102:
            if (state1_ == 'K') return state2_ == 'R' ? kStatusAtRest : kStatusMoving;
            return IsOneOf(state1_, "LMW") ? kStatusLimit : kStatusError;
        default: {
            // SHOT: state 1 acknowledges the last command ('X' refused), state
            // 2 holds the limits. A character outside those the controller
            // uses is not taken for "at rest".
            if (state1_ != 'K' || !IsOneOf(readyMark_, "BR")) return kStatusError;
            if (busy) return kStatusMoving;
            const char* limits = family_ == kShot202 ? "LMW" : "12EW";
            return IsOneOf(state2_, limits) ? kStatusLimit : kStatusAtRest;
        }
    }
}

int32_t CAstrelSigma::GetStageStatus() {
    return QueryStatus();
}

bool CAstrelSigma::LimitOn(uint16_t axis) const {
    switch (family_) {
        case kFC101G:
            return IsOneOf(axis == 0 ? state1_ : state2_, "CW");
        case kMark102:
        case kShot202: {
            const char limit = family_ == kMark102 ? state1_ : state2_;
            return limit == (axis == 0 ? 'L' : 'M') || limit == 'W';
        }
        default:
            return state2_ == (axis == 0 ? '1' : '2') || IsOneOf(state2_, "EW");
    }
}

int32_t CAstrelSigma::IsStopByLimit(uint16_t axis) {
    return astrel::TestLimit(
        axis, HasAxis(axis), [this] { return QueryStatus(); }, [&] { return LimitOn(axis); });
}

int32_t CAstrelSigma::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    const int32_t code = QueryStatus();
    if (code == kStatusNoReply || code == kStatusError) return 0;
    if (x != nullptr) *x = xPosition_;
    if (y != nullptr) *y = yPosition_;
    if (z != nullptr) *z = 0;
    return 1;
}

// ---------------------------------------------------------------- busy query

CAstrelBase::Motion CAstrelSigma::QueryMotion() {
    if (family_ == kMark102) {
        // No busy query: the status line's drive mark ('R' ready) tells
        // whether an axis moves, whatever the limit mark beside it says.
        const int32_t code = QueryStatus();
        if (code == kStatusNoReply || code == kStatusError) return kMotionUnknown;
        return state2_ == 'R' ? kMotionAtRest : kMotionMoving;
    }
    // The last line the controller sent is the answer.
    Reply reply;
    if (!Query(CommandLine("!:"), reply)) return kMotionUnknown;
    switch (reply.text[0]) {
        case 'B':
            return kMotionMoving;
        case 'R':
            return kMotionAtRest;
        default:
            return kMotionUnknown;  // an empty line, or not a busy answer
    }
}

// ---------------------------------------------------------------- jog

bool CAstrelSigma::StopAndWaitUntilReady() {
    if (Acknowledged(CommandLine("L:w")) == 0) return false;
    const uint32_t start = Now();
    const uint32_t bound = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{kJogWaitTimeOuts} * TimeOutMs(), UINT32_MAX - 1));
    for (;;) {
        if (QueryStatus() == kStatusNoReply) return false;
        if (readyMark_ != 'B') return true;
        if (RemainingMs(start, bound) == 0) return false;
        Pause(kJogPollPauseMs);
    }
}

int32_t CAstrelSigma::MoveJOG(int16_t x, int16_t y, int16_t /*z*/) {
    if (QueryStatus() == kStatusNoReply) return 0;
    if (axisCount_ < 2) y = 0;  // a direction for an axis the model lacks is ignored
    if (x == 0 && Acknowledged(CommandLine("L:1")) == 0) return 0;
    if (y == 0 && axisCount_ == 2 && Acknowledged(CommandLine("L:2")) == 0) return 0;
    if (x == 0 && y == 0) return 1;
    if (readyMark_ == 'B' && !StopAndWaitUntilReady()) return 0;
    // Directions beyond one unit saturate at the 32-bit range.
    const auto distance = [](int16_t direction) {
        return static_cast<int32_t>(
            std::clamp<int64_t>(int64_t{direction} * kJogDistance, INT32_MIN, INT32_MAX));
    };
    return MoveREL(distance(x), distance(y), 0);
}
