// Driver for Suruga controllers (maker type 2): the three-axis model
// "MSC-10". Commands are plain words with the axis letter X, Y or Z inside
// ("?POSX", "INCY300", "SPSELZ1"), and the controller answers its queries one
// axis at a time. Every operation that talks to the controller first puts it
// into remote mode ("MODE3"). Speeds live in two speed tables of the
// controller: table 0 for X and Y, table 1 for Z.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "driver/CAstrelBase.h"

class CAstrelSuruga : public CAstrelBase {
  public:
    static constexpr int kStageAxes = 3;  // X, Y, Z

    // Line defaults: CR, 9600 baud, no parity, one stop bit, eight data bits, no flow control.
    CAstrelSuruga() : CAstrelBase({.delimiter = 1, .dataBits = 1}) {}
    ~CAstrelSuruga() override = default;

    int32_t GetStageList(int16_t index, int32_t* axisCount, char* name) override;
    int32_t GetSpeedUnitList(int16_t index, char* name) override;
    int32_t GetAcclUnitList(int16_t index, char* name) override;

    int32_t GetStageStatus() override;
    int32_t IsStopByLimit(uint16_t axis) override;
    int32_t GetStagePosition(int32_t* x, int32_t* y, int32_t* z) override;
    int32_t MoveABS(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveREL(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveJOG(int16_t x, int16_t y, int16_t z) override;
    int32_t MoveOriginPosition() override;
    int32_t StopMove() override;
    int32_t StopNow() override;
    int32_t SetStagePosition(int32_t x, int32_t y, int32_t z) override;
    int32_t SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) override;
    // "MODE3" (remote) for a non-zero mode, "MODE1" (local) for 0.
    int32_t RemoteStage(int32_t mode) override;

  protected:
    Motion QueryMotion() override;

  private:
    // Drops stale input and puts the controller into remote mode: the start
    // of every exchange. False when "MODE3" could not be sent.
    bool BeginExchange();
    // Sends the lines in order after BeginExchange: 1 when all were sent, 0
    // at the first that was not (those before it stay sent).
    int32_t SendAfterRemote(std::initializer_list<CommandLine> commands);
    // Sends `format` (holding the axis letter) for X, Y and Z in turn and
    // hands each reply to `take(axis, reply)`. False at the first query
    // without a reply line, or whose reply `take` refuses.
    template <typename Take>
    bool AskEachAxis(const char* format, Take take);
    // Reads the three status bytes; false when any could not be read.
    bool ReadStatusBytes();

    // The first byte of each axis's last status reply, X, Y, Z.
    uint8_t statusBytes_[kStageAxes] = {' ', ' ', ' '};
};
