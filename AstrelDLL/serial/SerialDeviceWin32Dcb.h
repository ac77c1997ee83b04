// The line settings of a Windows serial port as a DCB.
#pragma once

#include <windows.h>

#include "serial/SerialSettings.h"

namespace astrel::win32 {

// Writes the settings' baud rate, parity (and its check flag), stop bits,
// data bits and flow control into `dcb`, which holds what the port reported.
// A code outside its table leaves that setting as the port reported it, and
// every other member is kept.
void ApplyLineSettings(DCB& dcb, const SerialSettings& settings);

}  // namespace astrel::win32
