// QT driver: models and selection, axis letters and pieces, the status query
// and the operations built on it.
#include "makers/CAstrelQT.h"

#include <algorithm>
#include <iterator>

#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

namespace {

// Indexed by model index.
constexpr astrel::ModelEntry kModels[] = {{"QT1", 1}, {"QT2", 2}, {"QT3", 3}, {"MSC2", 2}};
constexpr int16_t kModelCount = static_cast<int16_t>(std::size(kModels));

// Letters of controller axes 0 to 5.
constexpr char kAxisLetters[] = "ABCDEF";

// Status codes of the status letters; the first letter in axis order that is
// one of these decides.
struct LetterCode {
    char letter;
    int32_t code;
};
constexpr char kMovingLetter = 'D';
constexpr char kLimitLetter = 'L';
constexpr LetterCode kLetterCodes[] = {{kMovingLetter, CAstrelBase::kStatusMoving},
                                       {'E', 2},
                                       {'H', 3},
                                       {kLimitLetter, CAstrelBase::kStatusLimit},
                                       {'C', 5}};

}  // namespace

// ---------------------------------------------------------------- models

int32_t CAstrelQT::SelectStage() {
    const int found = astrel::FindModel(kModels, StageName());
    if (found >= 0) modelIndex_ = found;
    // "QT2" has no Z axis, whether it was just chosen or kept from before. A
    // later switch to another model does not give Z its number back.
    if (modelIndex_ == kQT2) {
        axisNumbers_[kZ] = kUnassigned;
        SortAxisOrder();
    }
    return found >= 0 ? 1 : 0;
}

int32_t CAstrelQT::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    return astrel::ListModel(kModels, index, axisCount, name);
}

int32_t CAstrelQT::GetSpeedUnitList(int16_t index, char* name) {
    return astrel::ListUnit("pps", kModelCount, index, name);
}

int32_t CAstrelQT::GetAcclUnitList(int16_t index, char* name) {
    return astrel::ListUnit("msec", kModelCount, index, name);
}

bool CAstrelQT::ModelCarries(int stageAxis) const {
    switch (stageAxis) {
        case kX:
            return true;
        case kY:
            return modelIndex_ != kQT1;
        case kZ:
            return modelIndex_ == kQT3;
        default:
            return false;
    }
}

bool CAstrelQT::Answers(int32_t stageAxis) const {
    if (!IsStageAxis(stageAxis) || !IsAssigned(stageAxis)) return false;
    if (modelIndex_ == kQT1) return stageAxis == kX;
    if (modelIndex_ == kMSC2) return stageAxis != kZ;
    return true;
}

// ---------------------------------------------------------------- axes and pieces

char CAstrelQT::Letter(int stageAxis) const {
    return IsAssigned(stageAxis) ? kAxisLetters[axisNumbers_[stageAxis]] : '\0';
}

CommandLine CAstrelQT::JoinAxisPieces(const char* verb, const AxisPieces& pieces) {
    // Z, Y, X, then a stable sort by first character: ties keep Z, Y, X.
    const CommandLine* ordered[kStageAxes] = {&pieces[kZ], &pieces[kY], &pieces[kX]};
    std::stable_sort(std::begin(ordered), std::end(ordered),
                     [](const CommandLine* a, const CommandLine* b) {
                         return static_cast<unsigned char>(a->Text()[0]) <
                                static_cast<unsigned char>(b->Text()[0]);
                     });
    CommandLine joined("%s", verb);
    for (const CommandLine* piece : ordered) joined.Add(*piece);
    return joined;
}

void CAstrelQT::SortAxisOrder() {
    // Unassigned (-1) sorts behind every assigned number.
    const auto key = [this](int stageAxis) {
        const int16_t n = axisNumbers_[stageAxis];
        return n < 0 ? static_cast<int>(INT16_MAX) + 1 : static_cast<int>(n);
    };
    std::stable_sort(std::begin(axisOrder_), std::end(axisOrder_),
                     [&key](int a, int b) { return key(a) < key(b); });
}

// ---------------------------------------------------------------- status query

CommandLine CAstrelQT::StatusQuery() const {
    if (modelIndex_ == kQT1) return CommandLine("Q:A0");
    if (modelIndex_ == kMSC2) return CommandLine("Q:0");
    // "QT2", "QT3": one piece per assigned axis, in the axis order.
    CommandLine command("Q:");
    for (int stageAxis : axisOrder_) {
        if (IsAssigned(stageAxis)) command.Add("%c0", Letter(stageAxis));
    }
    return command;
}

int32_t CAstrelQT::QueryStatus(bool allowResend) {
    Reply reply;
    if (!Query(StatusQuery(), reply, allowResend ? Resend::kOnce : Resend::kNo) ||
        !ParseStatusReply(reply.View())) {
        return kStatusNoReply;
    }
    return StatusCodeFromLetters();
}

bool CAstrelQT::ParseStatusReply(std::string_view reply) {
    int32_t positions[kControllerAxes] = {};
    char letters[kControllerAxes] = {' ', ' ', ' ', ' ', ' ', ' '};
    // One field per entry of the axis order: fields past the third are ignored.
    std::string_view fields[kStageAxes];
    const size_t count = astrel::SplitFields(reply, ',', fields, kStageAxes);
    for (size_t step = 0; step < kStageAxes; ++step) {
        const int stageAxis = axisOrder_[step];
        if (!IsAssigned(stageAxis)) break;  // the first unassigned entry ends the walk
        // Every axis the query asked for needs a field that starts with a
        // number; numbers beyond 32 bits saturate (ReadLeadingDecimal).
        const bool needed = Answers(stageAxis);
        if (step >= count) {
            if (needed) return false;
            break;
        }
        const int n = axisNumbers_[stageAxis];
        if (!astrel::ReadLeadingDecimal(fields[step], positions[n]) && needed) return false;
        letters[n] = fields[step].back();  // fields are never empty
    }
    std::copy(std::begin(positions), std::end(positions), axisPositions_);
    std::copy(std::begin(letters), std::end(letters), axisLetters_);
    return true;
}

int32_t CAstrelQT::StatusCodeFromLetters() const {
    for (char letter : axisLetters_) {
        for (const LetterCode& row : kLetterCodes) {
            if (letter == row.letter) return row.code;
        }
    }
    return kStatusAtRest;
}

bool CAstrelQT::AnyAxisMoving() const {
    return std::find(std::begin(axisLetters_), std::end(axisLetters_), kMovingLetter) !=
           std::end(axisLetters_);
}

int32_t CAstrelQT::GetStageStatus() {
    return QueryStatus(true);
}

CAstrelBase::Motion CAstrelQT::QueryMotion() {
    QueryStatus(true);  // only the second answer counts
    if (QueryStatus(true) == kStatusNoReply) return kMotionUnknown;
    return AnyAxisMoving() ? kMotionMoving : kMotionAtRest;
}

int32_t CAstrelQT::IsStageRunningEx(int32_t* running) {
    if (modelIndex_ != kQT2) return CAstrelBase::IsStageRunningEx(running);
    // "QT2": one query without resend; codes 2, 3 and 5 do not settle it.
    const int32_t code = QueryStatus(false);
    if (code == kStatusNoReply) return 0;
    if (AnyAxisMoving()) return StoreMotion(kMotionMoving, running);
    if (code != kStatusAtRest && code != kStatusLimit) return 0;
    return StoreMotion(kMotionAtRest, running);
}

int32_t CAstrelQT::IsStopByLimit(uint16_t axis) {
    return astrel::TestLimit(
        axis, Answers(axis), [this] { return GetStageStatus(); },
        [&] { return axisLetters_[axisNumbers_[axis]] == kLimitLetter; });
}

int32_t CAstrelQT::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    if (GetStageStatus() == kStatusNoReply) return 0;
    int32_t* const outputs[kStageAxes] = {x, y, z};
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (outputs[stageAxis] != nullptr && Answers(stageAxis)) {
            *outputs[stageAxis] = axisPositions_[axisNumbers_[stageAxis]];
        }
    }
    return 1;
}
