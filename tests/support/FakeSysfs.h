// A sysfs tree and a /dev tree built in a temporary directory, as the kernel
// shows serial devices: a USB adapter (ttyUSB0, with a by-id link), a USB
// modem (ttyACM0), UARTs (ttyS0 and ttyS10) and ports without one (ttyS1),
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
        namespace fs = std::filesystem;
        fs::remove_all(root);
        const std::string bus = "devices/pci0000:00/0000:00:14.0/usb1/";
        Tty("ttyUSB0", bus + "1-2/1-2:1.0/ttyUSB0");
        Usb(bus + "1-2", "0403", "6001", "Maker", "Adapter", "A1");
        Tty("ttyACM0", bus + "1-3/1-3:1.0");
        Usb(bus + "1-3", "2341", "0043", "", "Modem", "");
        for (const char* name : {"ttyS0", "ttyS1", "ttyS10"}) {
            Tty(name, "devices/platform/serial8250");
            Attribute("class/tty/" + std::string(name) + "/type",
                      name == std::string("ttyS1") ? "0" : "4");
        }
        Tty("tty0", "devices/virtual/tty/tty0");
        fs::create_directories(dev / "serial/by-id");
        for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS0"})
            std::ofstream(dev / name).put('\n');
        fs::create_symlink("../../ttyUSB0", dev / "serial/by-id" / kByIdName);
    }
    ~FakeSysfs() { std::filesystem::remove_all(root); }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // class/tty/NAME/device as a relative link to `device`, as the kernel makes it.
    void Tty(const std::string& name, const std::string& device) {
        namespace fs = std::filesystem;
        fs::create_directories(sys / device);
        fs::create_directories(sys / "class/tty" / name);
        fs::create_symlink(fs::path("../../..") / device, sys / "class/tty" / name / "device");
    }
    void Usb(const std::string& device, const char* vendor, const char* product,
             const char* manufacturer, const char* name, const char* serial) {
        Attribute(device + "/idVendor", vendor);
        Attribute(device + "/idProduct", product);
        if (*manufacturer != '\0') Attribute(device + "/manufacturer", manufacturer);
        Attribute(device + "/product", name);
        if (*serial != '\0') Attribute(device + "/serial", serial);
    }
    void Attribute(const std::string& file, const char* value) {
        std::ofstream(sys / file) << value << '\n';
    }

    const std::filesystem::path root =
        std::filesystem::path(::testing::TempDir()) / ("fake-sysfs-" + std::to_string(::getpid()));
    const std::filesystem::path sys = root / "sys";
    const std::filesystem::path dev = root / "dev";
};

}  // namespace astrel::test
