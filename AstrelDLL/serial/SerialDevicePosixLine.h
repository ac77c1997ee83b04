// termios and serial-driver details of the POSIX serial device.
#pragma once

#include <cstdint>

#include "serial/SerialSettings.h"

namespace astrel::posix {

// Puts the terminal into raw mode: no echo, no CR/LF translation, no output
// processing, reads that never wait.
bool MakeRaw(int fd);

// Applies the line settings (raw mode included). A code outside its table
// keeps what the device had.
bool ApplyLineSettings(int fd, const SerialSettings& settings);

// Sets a baud rate that has no termios speed constant. Lives in its own unit
// because the kernel's termios2 header cannot share one with <termios.h>.
bool SetCustomBaudRate(int fd, uint32_t baud);

// Tells whether framing, parity, overrun or break errors were counted since
// the previous call, from the serial driver's error counters. Devices without
// such counters (pseudo-terminals, some adapters) never report errors.
class LineErrorCounter {
  public:
    LineErrorCounter() = default;
    explicit LineErrorCounter(int fd);
    bool Changed();

  private:
    uint64_t Total() const;
    int fd_ = -1;
    bool supported_ = false;
    uint64_t last_ = 0;
};

}  // namespace astrel::posix
