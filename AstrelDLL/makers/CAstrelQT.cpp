// QT driver: models and selection, axis letters and pieces, the status query
// and the operations built on it.
#include "makers/CAstrelQT.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

#include "driver/ReplyFields.h"

namespace {

struct ModelRow {
    const char* name;
    int32_t axisCount;
};

// Indexed by model index.
constexpr ModelRow kModels[] = {{"QT1", 1}, {"QT2", 2}, {"QT3", 3}, {"MSC2", 2}};
constexpr int16_t kModelCount = static_cast<int16_t>(std::size(kModels));

// Letters of controller axes 0 to 5.
constexpr char kAxisLetters[] = "ABCDEF";

// Status codes of the status letters; the first letter in axis order that is
// one of these decides.
struct LetterCode {
    char letter;
    int32_t code;
};
constexpr LetterCode kLetterCodes[] = {{'D', 1}, {'E', 2}, {'H', 3}, {'L', 4}, {'C', 5}};

constexpr int32_t kStatusAtRest = 0;
constexpr int32_t kStatusMoving = 1;
constexpr int32_t kStatusLimit = 4;
constexpr int32_t kStatusNoReply = 6;

}  // namespace

// ---------------------------------------------------------------- models

int32_t CAstrelQT::SelectStage() {
    int32_t matched = 0;
    for (int32_t i = 0; i < kModelCount; ++i) {
        if (::strcasecmp(StageName(), kModels[i].name) == 0) {
            modelIndex_ = i;
            matched = 1;
            break;
        }
    }
    // "QT2" has no Z axis, whether it was just chosen or kept from before. A
    // later switch to another model does not give Z its number back.
    if (modelIndex_ == kQT2) {
        axisNumbers_[kZ] = kUnassigned;
        SortAxisOrder();
    }
    return matched;
}

int32_t CAstrelQT::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    if (index < 0 || index >= kModelCount) return 0;
    if (axisCount != nullptr) *axisCount = kModels[index].axisCount;
    return WriteTableEntry(kModels[index].name, name);
}

int32_t CAstrelQT::GetSpeedUnitList(int16_t index, char* name) {
    if (index < 0 || index >= kModelCount) return 0;
    return WriteTableEntry("pps", name);
}

int32_t CAstrelQT::GetAcclUnitList(int16_t index, char* name) {
    if (index < 0 || index >= kModelCount) return 0;
    return WriteTableEntry("msec", name);
}

bool CAstrelQT::ModelCarries(int stageAxis) const {
    switch (stageAxis) {
        case kX:
            return true;
        case kY:
            return modelIndex_ == kQT2 || modelIndex_ == kQT3 || modelIndex_ == kMSC2;
        case kZ:
            return modelIndex_ == kQT3;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- axes and pieces

char CAstrelQT::LetterOf(int16_t axisNumber) {
    if (axisNumber < 0 || axisNumber >= kControllerAxes) return '\0';
    return kAxisLetters[axisNumber];
}

char CAstrelQT::SelectedLetter(int32_t stageAxis) const {
    if (stageAxis < kX || stageAxis > kZ) return '\0';
    return Letter(stageAxis);
}

void CAstrelQT::PieceNumber(char* piece, int stageAxis, int32_t value) const {
    piece[0] = '\0';
    if (IsAssigned(stageAxis))
        astrel::FormatText(piece, kPieceSize, "%c%d", Letter(stageAxis), value);
}

void CAstrelQT::PieceSign(char* piece, int stageAxis, int32_t direction) const {
    piece[0] = '\0';
    if (IsAssigned(stageAxis)) {
        astrel::FormatText(piece, kPieceSize, "%c%c", Letter(stageAxis), direction > 0 ? '+' : '-');
    }
}

void CAstrelQT::PieceLetter(char* piece, int stageAxis) const {
    piece[0] = '\0';
    if (IsAssigned(stageAxis)) astrel::FormatText(piece, kPieceSize, "%c", Letter(stageAxis));
}

void CAstrelQT::PieceTwoDigits(char* piece, int stageAxis, uint16_t value) const {
    piece[0] = '\0';
    if (IsAssigned(stageAxis)) {
        astrel::FormatText(piece, kPieceSize, "%c%02d", Letter(stageAxis), static_cast<int>(value));
    }
}

bool CAstrelQT::JoinAxisPieces(const char (&pieces)[kStageAxes][kPieceSize], char* out,
                               size_t size) {
    if (out == nullptr || size == 0) return false;
    // Z, Y, X, then a stable sort by first character: ties keep Z, Y, X.
    const char* ordered[kStageAxes] = {pieces[kZ], pieces[kY], pieces[kX]};
    std::stable_sort(std::begin(ordered), std::end(ordered), [](const char* a, const char* b) {
        return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
    });
    size_t length = 0;
    out[0] = '\0';
    for (const char* piece : ordered) {
        const size_t n = ::strnlen(piece, kPieceSize);
        if (length + n >= size) return false;
        std::memcpy(out + length, piece, n);
        length += n;
        out[length] = '\0';
    }
    return true;
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

bool CAstrelQT::BuildStatusQuery(char* command, size_t size) const {
    switch (modelIndex_) {
        case kQT1:
            return astrel::FormatText(command, size, "Q:A0");
        case kMSC2:
            return astrel::FormatText(command, size, "Q:0");
        default: {
            // "QT2", "QT3": one piece per assigned axis, in the axis order.
            char pieces[kStageAxes * 2 + 1] = {};
            size_t length = 0;
            for (int stageAxis : axisOrder_) {
                if (!IsAssigned(stageAxis)) continue;
                if (!astrel::FormatText(pieces + length, sizeof pieces - length, "%c0",
                                        Letter(stageAxis))) {
                    return false;
                }
                length += 2;
            }
            return astrel::FormatText(command, size, "Q:%s", pieces);
        }
    }
}

bool CAstrelQT::ReadReply(char (&reply)[kReplySize]) {
    std::memset(reply, 0, sizeof reply);
    return ReceiveLastReply(reply, kReplySize) != 0;
}

int32_t CAstrelQT::QueryStatus(bool allowResend) {
    PurgeInput();
    char command[kCommandSize];
    if (!BuildStatusQuery(command, sizeof command) || SendData(command) == 0) return kStatusNoReply;
    char reply[kReplySize] = {};
    bool resent = false;
    // ReceiveLastReply reads until a reply leaves nothing waiting, so the
    // buffer holds the last line the controller sent.
    while (ReceiveLastReply(reply, kReplySize) == 0) {
        if (!allowResend || resent) return kStatusNoReply;
        resent = true;
        if (SendData(command) == 0) return kStatusNoReply;
    }
    ParseStatusReply(reply, sizeof reply);
    return StatusCodeFromLetters();
}

void CAstrelQT::ParseStatusReply(const char* reply, size_t size) {
    std::fill(std::begin(axisPositions_), std::end(axisPositions_), 0);
    std::fill(std::begin(axisLetters_), std::end(axisLetters_), ' ');
    // One field per entry of the axis order: fields past the third are ignored.
    std::string_view fields[kStageAxes];
    const size_t count =
        astrel::SplitFields(astrel::ReplyText(reply, size), ',', fields, kStageAxes);
    for (size_t step = 0; step < count; ++step) {
        const int16_t n = axisNumbers_[axisOrder_[step]];
        if (LetterOf(n) == '\0') break;  // the first unassigned entry ends the walk
        // A field that does not start with a number leaves the position as it
        // is; numbers beyond 32 bits saturate (ReadLeadingDecimal).
        astrel::ReadLeadingDecimal(fields[step], axisPositions_[n]);
        axisLetters_[n] = fields[step].back();  // fields are never empty
    }
}

int32_t CAstrelQT::StatusCodeFromLetters() const {
    for (char letter : axisLetters_) {
        for (const LetterCode& row : kLetterCodes) {
            if (letter == row.letter) return row.code;
        }
    }
    return kStatusAtRest;
}

int32_t CAstrelQT::GetStageStatus() {
    return QueryStatus(true);
}

int32_t CAstrelQT::IsStageRunning() {
    GetStageStatus();  // only the second answer counts
    return GetStageStatus() == kStatusMoving ? 1 : 0;
}

int32_t CAstrelQT::IsStageRunningEx(int32_t* running) {
    if (modelIndex_ != kQT2) {
        const int32_t moving = IsStageRunning();
        if (running != nullptr) *running = moving;
        return 1;
    }
    const int32_t code = QueryStatus(false);
    if (code == kStatusAtRest || code == kStatusLimit || code == kStatusMoving) {
        if (running != nullptr) *running = code == kStatusMoving ? 1 : 0;
        return 1;
    }
    return 0;  // 2, 3, 5 and 6 leave the flag untouched
}

int32_t CAstrelQT::IsStopByLimit(uint16_t axis) {
    const int32_t code = GetStageStatus();
    if (code == kStatusNoReply) return 0;
    if (axis == 0xFFFF) return code == kStatusLimit ? 1 : 0;
    if (axis == 0 && IsAssigned(kX)) return axisLetters_[axisNumbers_[kX]] == 'L' ? 1 : 0;
    return 0;
}

int32_t CAstrelQT::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    if (GetStageStatus() == kStatusNoReply) return 0;
    int32_t* const outputs[kStageAxes] = {x, y, z};
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (outputs[stageAxis] != nullptr && IsAssigned(stageAxis)) {
            *outputs[stageAxis] = axisPositions_[axisNumbers_[stageAxis]];
        }
    }
    return 1;
}
