// QT driver: motion and stop commands. Each discards pending input, writes
// its command line and returns the send result; no reply is read.
#include "makers/CAstrelQT.h"

int32_t CAstrelQT::SendAbsolute(const char* singleAxisFormat, const char* verb, int32_t x,
                                int32_t y, int32_t z) {
    PurgeInput();
    if (modelIndex_ == kQT1) {
        // X alone, on whatever controller axis carries it. An unassigned X
        // (possible only after "QT2" assignments) has no letter: nothing is sent.
        if (!IsAssigned(kX)) return 0;
        return Send(CommandLine(singleAxisFormat, Letter(kX), x));
    }
    // "QT2" and "QT3": every assigned axis, zero targets included (so "QT2"
    // carries Z too once SetAxisNum has assigned it); "MSC2": X and Y only.
    AxisPieces pieces = {Piece(kX, "%c%d", x), Piece(kY, "%c%d", y)};
    if (modelIndex_ != kMSC2) pieces[kZ] = Piece(kZ, "%c%d", z);
    return Send(JoinAxisPieces(verb, pieces));
}

int32_t CAstrelQT::MoveABS(int32_t x, int32_t y, int32_t z) {
    return SendAbsolute("AGO:%c%d", "AGO:", x, y, z);
}

int32_t CAstrelQT::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    return SendAbsolute("R:%c%d", "R:", x, y, z);
}

int32_t CAstrelQT::MoveREL(int32_t x, int32_t y, int32_t z) {
    PurgeInput();
    const int32_t distances[kStageAxes] = {x, y, z};
    return Send(JoinAxisPieces(
        "MGO:", CarriedPieces("%c%d", distances, [](int, int32_t d) { return d != 0; })));
}

int32_t CAstrelQT::MoveJOG(int16_t x, int16_t y, int16_t z) {
    PurgeInput();
    const int16_t directions[kStageAxes] = {x, y, z};
    // An assigned axis that is not to move is stopped on its own first.
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (directions[stageAxis] != 0 || !IsAssigned(stageAxis)) continue;
        if (Send(CommandLine("L:%c", Letter(stageAxis))) == 0) return 0;
    }
    if (x == 0 && y == 0 && z == 0) return 1;
    AxisPieces pieces;
    for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
        if (directions[stageAxis] != 0) {
            pieces[stageAxis] = Piece(stageAxis, "%c%c", directions[stageAxis] > 0 ? '+' : '-');
        }
    }
    return Send(JoinAxisPieces("JGO:", pieces));
}

int32_t CAstrelQT::MoveOriginPosition() {
    PurgeInput();
    const int32_t unused[kStageAxes] = {};
    const auto masked = [this](int stageAxis, int32_t) {
        return (useAxisMask_ & (1u << stageAxis)) != 0;
    };
    return Send(JoinAxisPieces("H:", CarriedPieces("%c", unused, masked)));
}

int32_t CAstrelQT::StopMove() {
    return PurgeAndSend(CommandLine("L:"));
}

int32_t CAstrelQT::StopNow() {
    return PurgeAndSend(CommandLine("E:"));
}
