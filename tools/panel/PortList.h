// The serial ports the panel offers: the ports named by ASTREL_COM1 to
// ASTREL_COM10, then the serial devices present (/dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM*, /dev/serial/by-id/*).
#pragma once

#include <string>
#include <vector>

namespace astrel::tool {

struct PortChoice {
    std::string label;   // "COM1 (ASTREL_COM1=/dev/ttyUSB0)", "/dev/ttyUSB0"
    int port = -1;       // the port index to open, or -1 to open `device`
    std::string device;  // the device path
};

std::vector<PortChoice> PresentPorts();

}  // namespace astrel::tool
