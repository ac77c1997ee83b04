// Driver for Hirox controllers (maker type 4): models "CT-7_2", "CT-7_1" and
// "TH3". Every command begins with "@" and names one controller axis by
// number (X 1, Y 2, Z 3), so an operation on the stage becomes one command
// per axis in use, X first. Commands go out line by line, each after the
// input has been drained; the only answer read is an axis's status line
// (HiroxStatusLine.h).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "driver/CAstrelBase.h"
#include "makers/HiroxStatusLine.h"

class CAstrelHirox : public CAstrelBase {
  public:
    // Command forms: the CT-7 controllers take "@SYS" parameters as one
    // list; "TH3" takes one "@SYS" per parameter and has an initialisation.
    enum Variant : int32_t { kCT7 = 0, kTH3 = 1 };
    // GetStageStatus code of an axis that is not ready (STS bit 2 clear).
    static constexpr int32_t kStatusNotReady = 3;

    // Line defaults: CR, 38400 baud, no parity, two stop bits, eight data bits, RTS/CTS flow
    // control.
    CAstrelHirox()
        : CAstrelBase(
              {.delimiter = 1, .baudRate = 9, .stopBits = 2, .dataBits = 1, .flowControl = 3}) {}
    ~CAstrelHirox() override = default;

    int32_t InitializeStage() override;
    int32_t SelectStage() override;
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
    int32_t RemoteStage(int32_t mode) override;
    int32_t SetAxisSpeedParam(int16_t axis, int32_t first, int32_t second, int32_t third) override;
    int32_t GetFunctionProperty(int32_t property, uint32_t* value) override;

    // Sends "@STS n ?" for controller axis `axis` and reads its status line.
    // 1 with `status` filled; 0, `status` untouched, when no usable line came.
    int32_t QueryAxisStatus(uint32_t axis, astrel::hirox::AxisStatus& status);
    // The status code of controller axis `axis`: 0, 1, 3, 6 or 7.
    int32_t GetAxisStatus(uint32_t axis);

  protected:
    Motion QueryMotion() override;

  private:
    static constexpr int kMaxAxes = 3;

    // The number of axes in use (X, then Y, then Z).
    int AxesInUse() const;
    // Writes `command` after draining the input: 1 written, 0 not.
    int32_t SendLine(const CommandLine& command);
    // Writes a stop's `command` whatever the input holds: 1 written, 0 not.
    int32_t SendStopLine(const CommandLine& command);
    // Writes the commands in order until one is not written: 1 all written, else 0.
    int32_t SendLines(std::initializer_list<CommandLine> commands);
    // Calls `send(axisIndex, controllerNumber)` for each axis in use, X
    // first, until one gives 0: 1 when every call gave 1, else 0.
    template <typename SendAxis>
    int32_t PerAxis(SendAxis send);
    // Whether a single-axis request names an axis in use.
    bool InUse(int16_t axis) const { return axis >= 0 && axis < AxesInUse(); }

    int32_t axisCount_ = 2;
    int32_t variant_ = kCT7;
};
