// Low-latency mode of USB serial adapters on Linux. An adapter holds the
// bytes it received for up to 16 ms before it passes them on, and every
// exchange waits for that; in low-latency mode it passes them on at once.
// The port asks for the mode when the device it opened is a USB adapter and
// gives the previous setting back when it closes. A device that refuses
// (a driver without the setting) is used as it is.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace astrel::posix {

// The serial driver's flags of a descriptor (TIOCGSERIAL, TIOCSSERIAL);
// the tests give their own. `set` gives 0, or the system's error number.
struct SerialFlags {
    std::function<bool(int fd, int& flags)> get;
    std::function<int(int fd, int flags)> set;
};
const SerialFlags& SystemSerialFlags();

// Whether `devicePath` (a link such as /dev/serial/by-id/... is followed)
// is a tty that sits on a USB device, after the sysfs tree at `sysRoot`.
bool IsUsbSerial(std::string_view devicePath, const std::string& sysRoot);

enum class LowLatency {
    kNotUsb,      // not a USB adapter: nothing asked
    kSet,         // turned on here; to be turned off at close
    kAlreadySet,  // was on before: left as it is
    kRefused,     // the driver has no such mode: the device works as before
    kForbidden,   // the system refused this user the change (EPERM): as before
};

// Asks for low-latency mode on `fd` when `devicePath` is a USB adapter.
LowLatency RequestLowLatency(int fd, std::string_view devicePath, const std::string& sysRoot,
                             const SerialFlags& io);
// Turns low-latency mode off again (for a port that RequestLowLatency gave kSet).
void RestoreLowLatency(int fd, const SerialFlags& io);
// The trace's note of `outcome` (empty for a device that is no USB adapter).
std::string LowLatencyNote(LowLatency outcome);

}  // namespace astrel::posix
