// The abstract stage driver: one serial port plus the thirty operations that
// the exports reach a controller through. Each maker's driver derives from it
// and replaces the operations its controller supports; the bodies here are
// the answers of a driver that replaces nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serial/CSerialCommunication.h"

class CAstrelBase : public CSerialCommunication {
  public:
    // Longest stage model name a driver keeps; longer names are cut.
    static constexpr size_t kStageNameLength = 32;

    CAstrelBase() = default;
    ~CAstrelBase() override = default;

    // Line-setting codes used where the host leaves a field at the default marker.
    virtual int32_t GetDefaultDelimiter() { return 0; }    // CR LF
    virtual int32_t GetDefaultBaudRate() { return 6; }     // 9600 baud
    virtual int32_t GetDefaultParity() { return 0; }       // none
    virtual int32_t GetDefaultStopBits() { return 0; }     // one
    virtual int32_t GetDefaultDataBits() { return 0; }     // seven bits
    virtual int32_t GetDefaultFlowControl() { return 0; }  // none

    virtual int32_t InitializeStage() { return 1; }
    // Looks the stage name buffer up in the model table; 0 for an unknown model.
    virtual int32_t SelectStage() { return 1; }
    virtual int32_t GetStageList(int16_t index, int32_t* axisCount, char* name);
    virtual int32_t GetSpeedUnitList(int16_t index, char* name);
    virtual int32_t GetAcclUnitList(int16_t index, char* name);

    // 0 at rest, 1 moving, 4 stopped at a limit, 6 no usable reply, 7 controller
    // error or unknown state; 2, 3 and 5 are the maker's own.
    virtual int32_t GetStageStatus() { return 0; }
    // 1 with *running written; 0 when the controller could not be asked.
    virtual int32_t IsStageRunningEx(int32_t* running);
    virtual int32_t IsStageRunning() { return 0; }
    // axis: 0 X, 1 Y, 2 Z, 0xFFFF any axis.
    virtual int32_t IsStopByLimit(uint16_t /*axis*/) { return 0; }
    virtual int32_t GetStagePosition(int32_t* /*x*/, int32_t* /*y*/, int32_t* /*z*/) { return 1; }
    virtual int32_t MoveABS(int32_t /*x*/, int32_t /*y*/, int32_t /*z*/) { return 1; }
    virtual int32_t MoveREL(int32_t /*x*/, int32_t /*y*/, int32_t /*z*/) { return 1; }
    // Directions: 0 holds the axis, positive and negative pick the direction.
    virtual int32_t MoveJOG(int16_t /*x*/, int16_t /*y*/, int16_t /*z*/) { return 1; }
    virtual int32_t MoveOriginPosition() { return 1; }
    virtual int32_t StopMove() { return 1; }  // decelerating stop
    virtual int32_t StopNow() { return 1; }   // immediate stop
    virtual int32_t SetStagePosition(int32_t /*x*/, int32_t /*y*/, int32_t /*z*/) { return 1; }
    // axis: 0 X, 1 Y, 2 Z; speeds in the maker's speed unit, acceleration in its unit.
    virtual int32_t SetMoveSpeeds(int16_t /*axis*/, int32_t /*start*/, int32_t /*max*/,
                                  int32_t /*accel*/) {
        return 1;
    }
    virtual int32_t RemoteStage(int32_t /*mode*/) { return 1; }
    // mask: bit 0 X, bit 1 Y, bit 2 Z.
    virtual int32_t SetUseAxisMask(int32_t /*mask*/) { return 1; }
    virtual int32_t GetUseAxisMask() { return 0; }
    virtual int32_t SetAxisSpeedParam(int16_t /*axis*/, int32_t /*first*/, int32_t /*second*/,
                                      int32_t /*third*/) {
        return 1;
    }
    // direction: 1 normal, -1 reversed.
    virtual int32_t SetStageDirection(int32_t /*axis*/, int32_t /*direction*/) { return 1; }
    virtual int32_t GetFunctionProperty(int32_t /*property*/, uint32_t* /*value*/) { return 0; }

    // Stores at most kStageNameLength bytes of `name` (null: empty) and a terminator.
    void SetStageName(const char* name);
    const char* StageName() const { return stageName_; }

  protected:
    // Writes a constant table entry (model or unit name) with its terminator
    // to `out` (null: nothing) and returns 1. The catalogue hands every
    // driver a 64-byte buffer, which holds every entry of every table.
    static int32_t WriteTableEntry(const char* entry, char* out);
    // Reads replies until the last complete line the controller sent is in
    // `buffer` (a read that leaves nothing waiting). 0 when a read failed.
    int32_t ReceiveLastReply(char* buffer, int32_t size);

  private:
    char stageName_[kStageNameLength + 1] = {};
};
