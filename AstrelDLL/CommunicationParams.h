// How a handle's CommunicationParam becomes the settings its port opens with.
#pragma once

#include <cstddef>

#include "Astrel.h"
#include "driver/CAstrelBase.h"
#include "serial/SerialSettings.h"

static_assert(sizeof(CommunicationParam) == 18, "CommunicationParam is 18 packed bytes");
static_assert(offsetof(CommunicationParam, TimeOut) == 14, "TimeOut starts at byte 14");

namespace astrel {

// The marker that asks for the driver's default in a 16-bit field.
inline constexpr uint16_t kUseDriverDefault = 0xFFFF;
// The time-out used when the host's is 0 or less.
inline constexpr int32_t kDefaultTimeOutMs = 5000;

// Field by field: 0xFFFF takes the driver's default, every other value is
// sign-extended and passed on (the port is always taken as given, so 0xFFFF
// there names no port); a time-out of 0 or less becomes 5000 ms.
SerialSettings MergeCommunicationParam(const CommunicationParam& param, CAstrelBase& driver);

}  // namespace astrel
