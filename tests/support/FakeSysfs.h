// A sysfs tree and a /dev tree built in a temporary directory, as the kernel
// shows serial devices: a USB adapter (ttyUSB0, with a by-id link), a USB
// modem (ttyACM0), UARTs (ttyS2 and ttyS10), a port without one (ttyS0)
// and a console (tty0).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace astrel::test {

struct FakeSysfs {
    static constexpr const char* kByIdName = "usb-Maker_Adapter_A1-if00-port0";

    FakeSysfs() {
        std::filesystem::remove_all(root);
        const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/";
        Tty("ttyUSB0", usb + "1-2/1-2:1.0/ttyUSB0");
        Files(usb + "1-2/", {"idVendor=0403", "idProduct=6001", "manufacturer=Maker",
                             "product=Adapter", "serial=A1"});
        Tty("ttyACM0", usb + "1-3/1-3:1.0");
        Files(usb + "1-3/", {"idVendor=2341", "idProduct=0043", "product=Modem"});
        for (const std::string name : {"ttyS0", "ttyS2", "ttyS10"}) {
            Tty(name, "devices/platform/serial8250");
            Files("class/tty/" + name + "/", {name == "ttyS0" ? "type=0" : "type=4"});
        }
        Tty("tty0", "devices/virtual/tty/tty0");
        std::filesystem::create_directories(dev / "serial/by-id");
        std::ofstream(dev / "ttyUSB0").put('\n');
        std::filesystem::create_symlink("../../ttyUSB0", dev / "serial/by-id" / kByIdName);
    }
    ~FakeSysfs() { std::filesystem::remove_all(root); }

    // class/tty/NAME/device as a relative link to `device`, as the kernel makes it.
    void Tty(const std::string& name, const std::string& device) {
        std::filesystem::create_directories(sys / device);
        std::filesystem::create_directories(sys / "class/tty" / name);
        std::filesystem::create_symlink(std::filesystem::path("../../..") / device,
                                        sys / "class/tty" / name / "device");
    }
    // Attribute files "NAME=VALUE" in the directory `at`.
    void Files(const std::string& at, std::initializer_list<std::string> attributes) {
        for (const std::string& a : attributes) {
            std::ofstream(sys / (at + a.substr(0, a.find('='))))
                << a.substr(a.find('=') + 1) << '\n';
        }
    }

    const std::filesystem::path root =
        std::filesystem::path(::testing::TempDir()) / ("fake-sysfs-" + std::to_string(::getpid()));
    const std::filesystem::path sys = root / "sys";
    const std::filesystem::path dev = root / "dev";
};

}  // namespace astrel::test
