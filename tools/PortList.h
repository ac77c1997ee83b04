// The serial devices present, read from a sysfs tree and a /dev tree (their
// roots are arguments, so that a test can build its own): ttyS ports with a
// UART behind them, USB adapters (ttyUSB) and USB modems (ttyACM), with the
// USB device's ids and names and the stable /dev/serial/by-id path.
#pragma once

#include <string>
#include <vector>

namespace astrel::tool {

struct PortInfo {
    std::string device;        // "/dev/ttyUSB0", under the /dev root given
    std::string uart;          // ttyS: the UART type number; empty for USB devices
    std::string usbId;         // "0403:6001" (vendor:product); empty when not USB
    std::string manufacturer;  // USB strings, empty when the device has none
    std::string product;
    std::string serial;
    std::string byId;  // the /dev/serial/by-id link to the device, if any
};

// The ports under `sysRoot` ("/sys") and `devRoot` ("/dev"), ttyS first,
// each kind in number order.
std::vector<PortInfo> ListPorts(const std::string& sysRoot, const std::string& devRoot);

// A port variable set now: ASTREL_COM<index+1>=device.
struct PortSetting {
    int index;  // the port index it names (0: COM1)
    std::string variable;
    std::string device;
};
std::vector<PortSetting> PortSettings();

// "ASTREL_COM<n>=VALUE (port index n-1)" for each port variable set now.
std::vector<std::string> PortMappings();

// The listing as `astrel ports` prints it.
std::string FormatPorts(const std::vector<PortInfo>& ports,
                        const std::vector<std::string>& mappings);

}  // namespace astrel::tool
