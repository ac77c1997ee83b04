// Driver for CP-310 controllers (maker type 6): models "CP-310" (X, Y, Z)
// and "CP-500" (X, Y). Axes are numbered 1 to 3 on the line; a motion is set
// up by one command and started by "G:"; a controller setting is written as
// "F:M<number>D" followed by its value word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "driver/CAstrelBase.h"

class CAstrelCP310 : public CAstrelBase {
  public:
    // Model indexes, in the order of the model table.
    enum Model : int32_t { kCP310 = 0, kCP500 = 1 };
    // Stage axes X, Y, Z; the controller numbers them from 1.
    static constexpr int kMaxAxes = 3;

    // Line defaults: CR LF, 38400 baud, no parity, one stop bit, eight data bits, no flow control.
    CAstrelCP310() : CAstrelBase({.baudRate = 9, .dataBits = 1}) {}
    ~CAstrelCP310() override = default;

    int32_t SelectStage() override;
    int32_t GetStageStatus() override;
    int32_t IsStopByLimit(uint16_t axis) override;
    int32_t GetStagePosition(int32_t* x, int32_t* y, int32_t* z) override;
    int32_t MoveABS(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveREL(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveJOG(int16_t x, int16_t y, int16_t z) override;
    int32_t MoveOriginPosition() override;
    int32_t StopMove() override;
    int32_t StopNow() override;
    int32_t SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) override;
    int32_t SetStageDirection(int32_t axis, int32_t direction) override;

    int32_t ModelIndex() const { return modelIndex_; }

  protected:
    Motion QueryMotion() override;

  private:
    int AxisCount() const;
    bool HasAxis(int32_t axis) const { return axis >= 0 && axis < AxisCount(); }

    // Sends `verb` and one sign-and-magnitude part per axis of the model, then "G:".
    int32_t SendMove(const char* verb, int32_t x, int32_t y, int32_t z);
    // Sends a set-up line, then "G:" to start it: 1 when both were written.
    int32_t SendAndGo(const CommandLine& setUp);

    // Sends "Q:" and parses its reply into the reply members; false, the
    // members cleared, when there is no usable reply.
    bool QueryPositions();
    // Parses a "Q:" reply: positions, "K", limit bits.
    bool ParsePositionReply(std::string_view reply);
    // Parses a "Q2:" reply into a status code.
    int32_t ParseStatusReply(std::string_view reply);
    // Pieces of a "Q:" or "Q2:" reply: the positions (three at most), "K",
    // a limit piece per axis and the state piece.
    static constexpr size_t kMaxPieces = 2 * kMaxAxes + 2;
    using Pieces = std::string_view[kMaxPieces];
    // Clears the reply members, splits `reply` at commas into `pieces` and
    // reads the positions from the first ones: the number of pieces, or 0
    // when a position is missing or has no digits.
    size_t SplitReply(std::string_view reply, Pieces& pieces);
    void ClearReply();

    // What the last parse found; cleared before each parse and after each use.
    int32_t replyPosition_[kMaxAxes] = {};
    uint8_t replyLimit_[kMaxAxes] = {};
    int32_t modelIndex_ = kCP310;
};
