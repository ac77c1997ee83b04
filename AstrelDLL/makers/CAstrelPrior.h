// Driver for Prior controllers (maker type 1): the three-axis "ProScan".
// A command is a few letters, a colon and signed decimals separated by
// commas, one command a line ended by CR. The driver reads replies to three
// queries only: the status ("$:"), the limit switches ("LMT:"), both
// hexadecimal, and the position ("P:"). Every other command is written and
// the controller's answer to it left for the next operation's discard.
#pragma once

#include <cstdint>

#include "driver/CAstrelBase.h"

class CAstrelPrior : public CAstrelBase {
  public:
    // Line defaults: CR, 9600 baud, no parity, one stop bit, eight data bits, no flow control.
    CAstrelPrior() : CAstrelBase({.delimiter = 1, .dataBits = 1}) {}
    ~CAstrelPrior() override = default;

    // Every model name is accepted (SelectStage is the default): the
    // controller is always a "ProScan".
    int32_t GetStageList(int16_t index, int32_t* axisCount, char* name) override;
    // Speeds and accelerations are settings from 1 to 100, passed on unchanged.
    int32_t GetSpeedUnitList(int16_t index, char* name) override;
    int32_t GetAcclUnitList(int16_t index, char* name) override;

    // 1 while any axis moves, 0 at rest (a stage stopped at a limit included;
    // IsStopByLimit tells), 6 for no usable reply.
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
    // X and Y share one speed and one acceleration; Z has its own. `start` is not used.
    int32_t SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) override;
    // The jog direction of one axis: 1 normal, anything else reversed.
    int32_t SetStageDirection(int32_t axis, int32_t direction) override;

    // The far target a jog runs towards: the jog value times 0x8FFFFFFF in
    // 32-bit two's complement (1 gives -1879048193, -1 gives 1879048193, 2
    // gives 536870910).
    static int32_t JogTarget(int16_t jog);

  protected:
    Motion QueryMotion() override;

  private:
    // Sends `query` and reads its reply as a hexadecimal number; false when
    // the exchange failed or the reply is empty or not hexadecimal.
    bool QueryHex(const char* query, Resend resend, uint32_t& value);
};
