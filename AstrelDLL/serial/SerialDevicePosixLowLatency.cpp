#include "serial/SerialDevicePosixLowLatency.h"

#include <linux/serial.h>
#include <stdlib.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <memory>

namespace astrel::posix {
namespace {

// The canonical form of `path`, every link followed; empty when it does not exist.
std::string Resolved(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), ::free);
    return real != nullptr ? std::string(real.get()) : std::string();
}

}  // namespace

const SerialFlags& SystemSerialFlags() {
    static const SerialFlags io{
        [](int fd, int& flags) {
            serial_struct s{};
            if (::ioctl(fd, TIOCGSERIAL, &s) != 0) return false;
            flags = s.flags;
            return true;
        },
        [](int fd, int flags) {
            serial_struct s{};
            if (::ioctl(fd, TIOCGSERIAL, &s) != 0) return errno;
            s.flags = flags;
            return ::ioctl(fd, TIOCSSERIAL, &s) == 0 ? 0 : errno;
        },
    };
    return io;
}

bool IsUsbSerial(std::string_view devicePath, const std::string& sysRoot) {
    std::string device = Resolved(std::string(devicePath));
    if (device.empty()) device = devicePath;
    const std::string name = device.substr(device.rfind('/') + 1);
    if (name.empty()) return false;
    // The tty's device, among the devices of the bus it sits on.
    const std::string root = Resolved(sysRoot);
    const std::string node = Resolved(sysRoot + "/class/tty/" + name + "/device");
    if (root.empty() || !node.starts_with(root + "/")) return false;
    return node.find("/usb", root.size()) != std::string::npos;
}

LowLatency RequestLowLatency(int fd, std::string_view devicePath, const std::string& sysRoot,
                             const SerialFlags& io) {
    if (!IsUsbSerial(devicePath, sysRoot)) return LowLatency::kNotUsb;
    int flags = 0;
    if (!io.get(fd, flags)) return LowLatency::kRefused;
    if ((flags & ASYNC_LOW_LATENCY) != 0) return LowLatency::kAlreadySet;
    const int error = io.set(fd, flags | ASYNC_LOW_LATENCY);
    if (error == 0) return LowLatency::kSet;
    return error == EPERM ? LowLatency::kForbidden : LowLatency::kRefused;
}

void RestoreLowLatency(int fd, const SerialFlags& io) {
    int flags = 0;
    if (io.get(fd, flags)) io.set(fd, flags & ~ASYNC_LOW_LATENCY);
}

std::string LowLatencyNote(LowLatency outcome) {
    switch (outcome) {
        case LowLatency::kSet:
            return "USB adapter: low-latency mode on (off again at close)";
        case LowLatency::kAlreadySet:
            return "USB adapter: low-latency mode was on already";
        case LowLatency::kRefused:
            return "USB adapter: the driver has no low-latency mode";
        case LowLatency::kForbidden:
            return "USB adapter: low-latency mode not permitted to this user (EPERM)";
        case LowLatency::kNotUsb:
            break;
    }
    return {};
}

}  // namespace astrel::posix
