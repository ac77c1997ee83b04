// The record behind one stage handle: what the host chose for it and the
// driver that serves it. Every field but the lock is read and written only
// while the lock is held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Astrel.h"
#include "HandleLock.h"
#include "driver/CAstrelBase.h"

class CAstrelData {
  public:
    explicit CAstrelData(int32_t handle) : handleNumber(handle) {}
    virtual ~CAstrelData();

    HandleLock lock;
    bool released = false;  // ReleaseAstrel took the handle: no call may use the record
    int32_t handleNumber;
    std::unique_ptr<CAstrelBase> driver;  // created by OpenComPort
    CommunicationParam communicationParam{};
    std::string stageName;
    std::string portDevice;  // SetPortDevice: opened in place of what the port index names
    int16_t makerType = 0;
    int16_t xSign = 1;
    int16_t ySign = 1;
    int16_t zSign = 1;
};
