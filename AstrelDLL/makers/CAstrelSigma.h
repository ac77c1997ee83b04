// Driver for Sigma controllers (maker type 3): models "FC-101G_2",
// "FC-101G_1", "Mark-102", "SHOT-202" and "SHOT-204MS", whose controller
// families speak four dialects of one command language. X is controller
// axis 1 and Y axis 2; Z arguments are ignored and Z reads 0. The SHOT
// controllers also drive a trigger output.
//
// The code is split by responsibility:
//   CAstrelSigma.cpp        models, the status and busy queries and what is
//                           built on them, jog
//   CAstrelSigmaCommands.cpp  moves, stops, origin, speeds, remote mode,
//                           properties and the trigger output
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "driver/CAstrelBase.h"

class CAstrelSigma : public CAstrelBase {
  public:
    // Controller families, chosen by the model.
    enum Family : int32_t { kFC101G = 0, kMark102 = 1, kShot202 = 2, kShot204MS = 3 };

    // Bounds on waiting for a controller that keeps talking or keeps busy.
    // A query passes over at most this many acknowledgement or short lines,
    // and reads none once one time-out has passed since its command was sent.
    static constexpr int kMaxPassedOverLines = 100;
    // MoveJOG waits for a busy controller to stop for at most this many
    // time-outs, asking its status every kJogPollPauseMs.
    static constexpr uint32_t kJogWaitTimeOuts = 3;
    static constexpr uint32_t kJogPollPauseMs = 10;
    // Pulses of a jog per unit of direction: a jog is a long relative move.
    static constexpr int32_t kJogDistance = 99'999'999;

    // Line defaults: CR LF, 9600 baud, no parity, one stop bit, eight data bits, no flow control.
    CAstrelSigma() : CAstrelBase({.dataBits = 1}) {}
    ~CAstrelSigma() override = default;

    int32_t SelectStage() override;
    int32_t GetStageList(int16_t index, int32_t* axisCount, char* name) override;
    int32_t GetSpeedUnitList(int16_t index, char* name) override;
    int32_t GetAcclUnitList(int16_t index, char* name) override;

    // Status and busy queries, CAstrelSigma.cpp.
    int32_t GetStageStatus() override;
    int32_t IsStopByLimit(uint16_t axis) override;
    int32_t GetStagePosition(int32_t* x, int32_t* y, int32_t* z) override;
    int32_t MoveJOG(int16_t x, int16_t y, int16_t z) override;

    // Commands, CAstrelSigmaCommands.cpp.
    int32_t MoveABS(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveREL(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveOriginPosition() override;
    int32_t StopMove() override;
    int32_t StopNow() override;
    int32_t SetStagePosition(int32_t x, int32_t y, int32_t z) override;
    int32_t SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) override;
    int32_t RemoteStage(int32_t mode) override;
    int32_t GetFunctionProperty(int32_t property, uint32_t* value) override;

    // The trigger output of the SHOT controllers; the other families send
    // nothing and give 0. Each command is acknowledged by the controller:
    // 1 when it was, 0 when it was not sent, not answered or refused ("NG").
    // `first` is sent plus one.
    int32_t SetTrigger(int16_t first, int32_t second);
    int32_t OnceTrigger();
    int32_t StopTrigger();
    // 1 with 2 and 30000 for the SHOT controllers; 0, nothing written, for
    // the others and for a null output.
    int32_t GetTriggerRange(int32_t* lower, int32_t* upper);

  protected:
    // The busy query "!:": "B" busy, "R" ready; anything else, or no answer,
    // is unknown. Mark-102 has no busy query: unknown without asking.
    Motion QueryMotion() override;

  private:
    // How a family's status line is laid out, and its commands.
    struct FamilyRow {
        size_t statusMinLength;  // shorter status lines are passed over
        size_t statusPieces;     // pieces a usable status line has
        bool signedPositions;    // a position piece is a sign character and a number
        size_t state1Piece, state2Piece, readyPiece;
        const char* start;   // starts the move whose targets were sent
        const char* stop;    // decelerating stop of every axis
        const char* origin;  // return to the origin
        const char* zero;    // the present position becomes 0; null: none
    };
    const FamilyRow& Row() const;
    bool IsShot() const { return family_ == kShot202 || family_ == kShot204MS; }
    // Whether the model has stage axis `axis` (0 X, 1 Y).
    bool HasAxis(uint16_t axis) const { return axis < static_cast<uint16_t>(axisCount_); }

    // Drops stale input, sends the status query and reads lines until its
    // answer, passing over the controller's acknowledgements ("OK", "NG") and
    // lines shorter than the family's status line, within the bounds above.
    // A read that fails sends the query once more. False when it was not
    // sent or no answer came within the bounds.
    bool ReadStatusLine(Reply& answer);
    // Drops stale input, sends `command` and takes the controller's last
    // line, its acknowledgement: 1 when a line with text came and is not a
    // refusal ("NG"); 0 when the command was not sent, nothing came within
    // the time-out, the line was empty or the controller refused.
    int32_t Acknowledged(const CommandLine& command);

    // The status query "Q:": a status code; kStatusNoReply (nothing kept)
    // when no usable line came.
    int32_t QueryStatus();
    // Keeps positions and state characters from a status line; false,
    // nothing kept, when a piece is missing or a position is not a number.
    bool ParseStatus(std::string_view line);
    int32_t StatusFromStates() const;
    // Whether the kept states show a limit on stage axis `axis` (0 X, 1 Y).
    bool LimitOn(uint16_t axis) const;
    // Stops every axis ("L:w") and asks the status until the controller is not busy;
    // false when a query fails or it stays busy past the bound.
    bool StopAndWaitUntilReady();
    // A target command (`oneAxis` or `twoAxes` with the sign and magnitude
    // of x, and of y) and then the family's start command, each acknowledged.
    int32_t SendMove(const char* oneAxis, const char* twoAxes, int32_t x, int32_t y);

    // The last usable status line.
    int32_t xPosition_ = 0;
    int32_t yPosition_ = 0;
    char state1_ = ' ';
    char state2_ = ' ';
    char readyMark_ = '\0';  // 'B' while the controller reports itself busy

    int32_t family_ = kFC101G;
    int16_t axisCount_ = 2;
};
