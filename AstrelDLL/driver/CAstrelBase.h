// The abstract stage driver: one serial port plus the thirty operations that
// the exports reach a controller through. Each maker's driver derives from it
// and replaces the operations its controller supports; the bodies here are
// the answers of a driver that replaces nothing.
//
// Rules every driver keeps (a host decides what to do next from our results,
// so a result never claims more than the driver knows):
//
//  1. No usable reply is never success. A query whose reply never came, or
//     lacks a field the operation needs (a missing piece, a piece that is not
//     a number where a number belongs, an empty line), is "no usable reply":
//     GetStageStatus gives kStatusNoReply (6); every other operation gives its
//     failure result and writes none of the host's outputs. Never "at rest",
//     never invented numbers. Operations whose results are 1 or 0 give 0 on
//     failure, never 6 or 7 (those codes belong to GetStageStatus).
//  2. IsStageRunningEx says when it could not ask: a driver answers motion
//     through QueryMotion, and kMotionUnknown makes IsStageRunningEx give 0
//     with the flag untouched. IsStageRunning, which has no failure result,
//     answers 0 then, so that a host's polling loop ends.
//  3. Running means any axis is moving, whatever another axis reports.
//     GetStageStatus keeps the controller's own order for its single code.
//  4. A failed write is a failure (0). A read-modify-write whose read failed
//     or was unusable writes nothing to the controller and gives 0.
//  5. A single-axis request (a speed, a direction, a limit test, a trigger)
//     for an axis the model does not carry, or that is not assigned, gives 0
//     and sends nothing, before any other command of that operation.
//     Multi-axis moves ignore the values of axes the model lacks.
//  6. A refusal from the controller (its "NG" or error answer) is a failure.
//
// Operations a controller does not have keep returning 1 and send nothing:
// the defaults below, by the library's convention.
//
// The steps every driver repeats live here and in driver/: Query (drop stale
// input, send, take the last reply line, with an optional resend), Send of a
// built CommandLine, FindModel/ListModel (model tables), and the number
// helpers of HostNumbers.h and ReplyFields.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "driver/CommandLine.h"
#include "serial/CSerialCommunication.h"

// The line-setting codes a controller family usually runs with (codes as
// in SerialSettings); a driver gives its own in its constructor.
struct LineDefaults {
    int32_t delimiter = 0;    // CR LF
    int32_t baudRate = 6;     // 9600 baud
    int32_t parity = 0;       // none
    int32_t stopBits = 0;     // one
    int32_t dataBits = 0;     // seven bits
    int32_t flowControl = 0;  // none
};

class CAstrelBase : public CSerialCommunication {
  public:
    // Longest stage model name a driver keeps; longer names are cut.
    static constexpr size_t kStageNameLength = 32;

    // Codes of GetStageStatus shared by every maker; 2, 3 and 5 are the maker's own.
    enum StatusCode : int32_t {
        kStatusAtRest = 0,
        kStatusMoving = 1,
        kStatusLimit = 4,
        kStatusNoReply = 6,  // the exchange failed or the reply was unusable
        kStatusError = 7,    // the controller reported an error, or an unknown state
    };

    // What a motion query found out.
    enum Motion { kMotionAtRest, kMotionMoving, kMotionUnknown };

    CAstrelBase() = default;
    explicit CAstrelBase(const LineDefaults& defaults) : lineDefaults_(defaults) {}
    ~CAstrelBase() override = default;

    // Line-setting codes used where the host leaves a field at the default marker.
    virtual int32_t GetDefaultDelimiter() { return lineDefaults_.delimiter; }
    virtual int32_t GetDefaultBaudRate() { return lineDefaults_.baudRate; }
    virtual int32_t GetDefaultParity() { return lineDefaults_.parity; }
    virtual int32_t GetDefaultStopBits() { return lineDefaults_.stopBits; }
    virtual int32_t GetDefaultDataBits() { return lineDefaults_.dataBits; }
    virtual int32_t GetDefaultFlowControl() { return lineDefaults_.flowControl; }

    virtual int32_t InitializeStage() { return 1; }
    // Looks the stage name buffer up in the model table; 0 for an unknown model.
    virtual int32_t SelectStage() { return 1; }
    virtual int32_t GetStageList(int16_t index, int32_t* axisCount, char* name);
    virtual int32_t GetSpeedUnitList(int16_t index, char* name);
    virtual int32_t GetAcclUnitList(int16_t index, char* name);

    // A StatusCode, or the maker's own 2, 3 or 5.
    virtual int32_t GetStageStatus() { return kStatusAtRest; }
    // 1 with *running written (1 moving, 0 at rest); 0, flag untouched, when
    // the controller could not be asked (QueryMotion gave kMotionUnknown).
    virtual int32_t IsStageRunningEx(int32_t* running);
    // 1 while any axis moves; 0 at rest and when the controller could not be asked.
    virtual int32_t IsStageRunning();
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

    // The result of an answer whose 0 also means "no" (not at a limit, not
    // moving) when the controller gave no usable reply: 0, and the call
    // counts as failed for the thread's last error.
    static int32_t Unanswered();

  protected:
    // Reply lines are read into buffers of this size (255 bytes and a terminator).
    static constexpr int32_t kReplySize = 256;

    // One reply line; empty until a line with text was read into it.
    struct Reply {
        char text[kReplySize] = {};
        std::string_view View() const;
    };

    enum class Resend { kNo, kOnce };

    // Whether the stage is moving, from the controller; kMotionUnknown when it
    // could not be asked or its answer was unusable. IsStageRunning and
    // IsStageRunningEx are built on it. A driver without a status query
    // leaves it: its stage reads as at rest.
    virtual Motion QueryMotion() { return kMotionAtRest; }
    // The IsStageRunningEx result for `motion`, storing the flag when known.
    static int32_t StoreMotion(Motion motion, int32_t* running);

    // Drops stale input, sends `command` and takes the last line the
    // controller sent into `reply` (cleared first). With Resend::kOnce a read
    // that fails sends the command once more (without dropping input) and
    // reads again. False when the command was not sent or no line came.
    bool Query(const CommandLine& command, Reply& reply, Resend resend = Resend::kNo);
    // Takes the last line the controller sent (reads until nothing more is
    // waiting, within one time-out) into `reply`, cleared first. False when a
    // read failed.
    bool ReadLastReply(Reply& reply);
    // Sends a built command line: 1 written, 0 not (also when it did not fit).
    int32_t Send(const CommandLine& command);
    // A one-command operation: drops stale input, then sends `command`.
    int32_t PurgeAndSend(const CommandLine& command);
    // Notes, for the thread's last error, that the controller refused the
    // command just sent with `answer`. A failing operation that notes no
    // refusal after a reply reports that reply as unusable.
    static void Refused(std::string_view answer);

  private:
    LineDefaults lineDefaults_;
    char stageName_[kStageNameLength + 1] = {};
};
