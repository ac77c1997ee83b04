// QT driver: motion and stop commands. Each discards pending input, writes
// its command line and returns the send result; no reply is read.
#include "driver/ReplyFields.h"
#include "makers/CAstrelQT.h"

int32_t CAstrelQT::SendJoined(const char* format, const char (&pieces)[kStageAxes][kPieceSize]) {
    char joined[kCommandSize];
    char command[kCommandSize];
    const bool built = JoinAxisPieces(pieces, joined, sizeof joined) &&
                       astrel::FormatText(command, sizeof command, format, joined);
    return SendIfBuilt(built, command);
}

int32_t CAstrelQT::SendAbsolute(const char* singleAxisFormat, const char* joinedFormat, int32_t x,
                                int32_t y, int32_t z) {
    PurgeInput();
    if (modelIndex_ == kQT1) {
        // X alone, on whatever controller axis carries it. An unassigned X
        // (possible only after "QT2" assignments) has no letter: nothing is sent.
        if (!IsAssigned(kX)) return 0;
        char command[kCommandSize];
        return SendIfBuilt(
            astrel::FormatText(command, sizeof command, singleAxisFormat, Letter(kX), x), command);
    }
    // "QT2" and "QT3": every assigned axis, zero targets included (so "QT2"
    // carries Z too once SetAxisNum has assigned it); "MSC2": X and Y only.
    char pieces[kStageAxes][kPieceSize] = {};
    PieceNumber(pieces[kX], kX, x);
    PieceNumber(pieces[kY], kY, y);
    if (modelIndex_ != kMSC2) PieceNumber(pieces[kZ], kZ, z);
    return SendJoined(joinedFormat, pieces);
}

int32_t CAstrelQT::MoveABS(int32_t x, int32_t y, int32_t z) {
    return SendAbsolute("AGO:%c%d", "AGO:%s", x, y, z);
}

int32_t CAstrelQT::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    return SendAbsolute("R:%c%d", "R:%s", x, y, z);
}

int32_t CAstrelQT::MoveREL(int32_t x, int32_t y, int32_t z) {
    PurgeInput();
    const int32_t distances[kStageAxes] = {x, y, z};
    char pieces[kStageAxes][kPieceSize] = {};
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (ModelCarries(stageAxis) && distances[stageAxis] != 0) {
            PieceNumber(pieces[stageAxis], stageAxis, distances[stageAxis]);
        }
    }
    return SendJoined("MGO:%s", pieces);
}

int32_t CAstrelQT::MoveJOG(int16_t x, int16_t y, int16_t z) {
    PurgeInput();
    const int16_t directions[kStageAxes] = {x, y, z};
    char command[kCommandSize];
    // An assigned axis that is not to move is stopped on its own first.
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (directions[stageAxis] != 0 || !IsAssigned(stageAxis)) continue;
        const bool built = astrel::FormatText(command, sizeof command, "L:%c", Letter(stageAxis));
        if (SendIfBuilt(built, command) == 0) return 0;
    }
    if (x == 0 && y == 0 && z == 0) return 1;
    char pieces[kStageAxes][kPieceSize] = {};
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (directions[stageAxis] != 0) {
            PieceSign(pieces[stageAxis], stageAxis, directions[stageAxis]);
        }
    }
    return SendJoined("JGO:%s", pieces);
}

int32_t CAstrelQT::MoveOriginPosition() {
    PurgeInput();
    char pieces[kStageAxes][kPieceSize] = {};
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (ModelCarries(stageAxis) && (useAxisMask_ & (1u << stageAxis)) != 0) {
            PieceLetter(pieces[stageAxis], stageAxis);
        }
    }
    return SendJoined("H:%s", pieces);
}

int32_t CAstrelQT::StopMove() {
    PurgeInput();
    return SendData("L:");
}

int32_t CAstrelQT::StopNow() {
    PurgeInput();
    return SendData("E:");
}
