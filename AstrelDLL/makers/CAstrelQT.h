// Driver for QT controllers (maker type 0): models "QT1", "QT2", "QT3" and "MSC2".
#pragma once

#include <cstdint>

#include "driver/CAstrelBase.h"

class CAstrelQT : public CAstrelBase {
  public:
    CAstrelQT() = default;
    ~CAstrelQT() override = default;

    int32_t GetDefaultDelimiter() override { return 0; }    // CR LF
    int32_t GetDefaultBaudRate() override { return 6; }     // 9600 baud
    int32_t GetDefaultParity() override { return 0; }       // none
    int32_t GetDefaultStopBits() override { return 0; }     // one
    int32_t GetDefaultDataBits() override { return 1; }     // eight bits
    int32_t GetDefaultFlowControl() override { return 0; }  // none

    int32_t SelectStage() override;

  private:
    int32_t modelIndex_ = 1;  // "QT2"
};
