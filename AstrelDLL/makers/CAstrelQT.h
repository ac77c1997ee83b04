// Driver for QT controllers (maker type 0): models "QT1", "QT2", "QT3" and
// "MSC2". The stage's X, Y and Z axes map onto controller axes "A" to "F".
//
// The code is split by responsibility:
//   CAstrelQT.cpp        models, selection, axis letters and pieces, the
//                        status query and everything built on it
//   CAstrelQTMotion.cpp  motion and stop commands
//   CAstrelQTParams.cpp  axis assignment, mask, speeds, parameters, direction
//                        and the operations no export reaches
#pragma once

#include <array>
#include <cstdint>

#include "driver/CAstrelBase.h"

class CAstrelQT : public CAstrelBase {
  public:
    // Model indexes, in the order of the model table.
    enum Model : int32_t { kQT1 = 0, kQT2 = 1, kQT3 = 2, kMSC2 = 3 };
    // Stage axes, the indexes of the axis numbers.
    enum StageAxis : int { kX = 0, kY = 1, kZ = 2 };
    static constexpr int kStageAxes = 3;
    // Controller axes "A" to "F".
    static constexpr int kControllerAxes = 6;
    // Axis number of a stage axis that has no controller axis.
    static constexpr int16_t kUnassigned = -1;

    // One command piece per stage axis, X, Y, Z; an empty piece takes no part.
    using AxisPieces = std::array<CommandLine, kStageAxes>;

    // Line defaults: CR LF, 9600 baud, no parity, one stop bit, eight data bits, no flow control.
    CAstrelQT() : CAstrelBase({.dataBits = 1}) {}
    ~CAstrelQT() override = default;

    int32_t SelectStage() override;
    int32_t GetStageList(int16_t index, int32_t* axisCount, char* name) override;
    int32_t GetSpeedUnitList(int16_t index, char* name) override;
    int32_t GetAcclUnitList(int16_t index, char* name) override;

    // Status query, CAstrelQT.cpp.
    int32_t GetStageStatus() override;
    int32_t IsStageRunningEx(int32_t* running) override;
    int32_t IsStopByLimit(uint16_t axis) override;
    int32_t GetStagePosition(int32_t* x, int32_t* y, int32_t* z) override;

    // Motion and stop commands, CAstrelQTMotion.cpp.
    int32_t MoveABS(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveREL(int32_t x, int32_t y, int32_t z) override;
    int32_t MoveJOG(int16_t x, int16_t y, int16_t z) override;
    int32_t MoveOriginPosition() override;
    int32_t StopMove() override;
    int32_t StopNow() override;
    int32_t SetStagePosition(int32_t x, int32_t y, int32_t z) override;

    // Axis assignment, speeds and parameters, CAstrelQTParams.cpp.
    int32_t SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) override;
    int32_t SetUseAxisMask(int32_t mask) override;
    int32_t GetUseAxisMask() override { return useAxisMask_; }
    int32_t SetAxisSpeedParam(int16_t axis, int32_t first, int32_t second, int32_t third) override;
    int32_t SetStageDirection(int32_t axis, int32_t direction) override;

    // X, Y, Z controller axis: 0 to 3, or 0xFFFF for none ("QT2", "QT3") or
    // automatic ("QT1", "MSC2"). 1 when stored, 0 when refused.
    int32_t SetAxisNum(uint16_t x, uint16_t y, uint16_t z);
    // Sends "P:%02dR" and reads the reply line into `reply` (may be null).
    // 1 read, 0 request not sent, 6 reply not read.
    int32_t ReadParameter(int16_t number, Reply* reply);

    // Operations that no export reaches.
    int32_t WriteParameter(int16_t number, const char* value);
    int32_t ReadSpeedSelect(uint16_t* x, uint16_t* y, uint16_t* z);
    int32_t SetSpeedSelect(uint16_t x, uint16_t y, uint16_t z);
    int32_t MoveABSXY(int32_t x, int32_t y);

    // `verb` followed by the non-empty pieces in ascending order of their
    // first character (pieces with the same first character in the order Z,
    // Y, X); the verb alone when every piece is empty.
    static CommandLine JoinAxisPieces(const char* verb, const AxisPieces& pieces);

    // Axis numbers and the last status reply, for inspection.
    // Out-of-range arguments give -1, 0 and a space.
    int16_t AxisNumber(int stageAxis) const {
        return IsStageAxis(stageAxis) ? axisNumbers_[stageAxis] : kUnassigned;
    }
    int32_t AxisPosition(int controllerAxis) const {
        return IsControllerAxis(controllerAxis) ? axisPositions_[controllerAxis] : 0;
    }
    char AxisStatusLetter(int controllerAxis) const {
        return IsControllerAxis(controllerAxis) ? axisLetters_[controllerAxis] : ' ';
    }

  protected:
    Motion QueryMotion() override;

  private:
    static bool IsStageAxis(int n) { return n >= kX && n <= kZ; }
    static bool IsControllerAxis(int n) { return n >= 0 && n < kControllerAxes; }
    bool IsAssigned(int stageAxis) const { return IsControllerAxis(axisNumbers_[stageAxis]); }
    char Letter(int stageAxis) const;
    // Whether the model's multi-axis commands carry the stage axis ("QT1" X;
    // "QT2" and "MSC2" X, Y; "QT3" X, Y, Z).
    bool ModelCarries(int stageAxis) const;
    // Whether the status query answers the stage axis: "QT1" X, "MSC2" X and
    // Y, "QT2" and "QT3" every assigned axis. Single-axis requests are
    // refused for the others.
    bool Answers(int32_t stageAxis) const;

    // The stage axis's letter followed by the formatted values; an empty
    // piece when the axis is unassigned.
    template <typename... Values>
    CommandLine Piece(int stageAxis, const char* format, Values... values) const {
        if (!IsAssigned(stageAxis)) return {};
        return CommandLine(format, Letter(stageAxis), values...);
    }
    // A piece for each axis the model carries whose value `takes(axis, value)`
    // accepts (a format without a value field ignores the value).
    template <typename Value, typename Takes>
    AxisPieces CarriedPieces(const char* format, const Value (&values)[kStageAxes],
                             Takes takes) const {
        AxisPieces pieces;
        for (int stageAxis = kX; stageAxis <= kZ; ++stageAxis) {
            if (ModelCarries(stageAxis) && takes(stageAxis, values[stageAxis])) {
                pieces[stageAxis] = Piece(stageAxis, format, values[stageAxis]);
            }
        }
        return pieces;
    }
    // MoveABS and SetStagePosition: "QT1" sends X alone with the single-axis
    // format ("VERB:%c%d"), the other models the joined pieces.
    int32_t SendAbsolute(const char* singleAxisFormat, const char* verb, int32_t x, int32_t y,
                         int32_t z);

    // Re-sorts the axis order: assigned axes by ascending number, unassigned
    // ones last, equal numbers keeping their previous order.
    void SortAxisOrder();
    // Sends the status query and parses its reply; the status code (6: no
    // usable reply, the last positions and letters kept).
    int32_t QueryStatus(bool allowResend);
    CommandLine StatusQuery() const;
    // Fills positions and letters from a status reply; false, nothing
    // changed, when a field the query asked for is missing or not a number.
    bool ParseStatusReply(std::string_view reply);
    // Maps the status letters to a status code.
    int32_t StatusCodeFromLetters() const;
    bool AnyAxisMoving() const;

    int32_t axisPositions_[kControllerAxes] = {};
    char axisLetters_[kControllerAxes] = {' ', ' ', ' ', ' ', ' ', ' '};
    int16_t axisNumbers_[kStageAxes] = {0, 1, 2};  // X, Y, Z
    // Stage axes sorted by their axis numbers (see SortAxisOrder).
    int axisOrder_[kStageAxes] = {kX, kY, kZ};
    int32_t modelIndex_ = kQT2;
    uint16_t useAxisMask_ = 7;
};
