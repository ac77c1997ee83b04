// astrel ports' listing, against a fake sysfs and /dev tree.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeSysfs.h"
#include "PortList.h"

namespace astrel::test {
namespace {

using tool::PortInfo;

TEST(PortList, ListsUartsAndUsbDevicesInOrderWithTheirNames) {
    const FakeSysfs tree;
    const std::string dev = tree.dev.string();
    const std::vector<PortInfo> ports = tool::ListPorts(tree.sys.string(), dev);
    using Fields = std::vector<std::string>;  // device, UART, USB id, names, serial, by-id
    const std::vector<Fields> expected = {
        {dev + "/ttyS0", "4", "", "", "", "", ""},
        {dev + "/ttyS10", "4", "", "", "", "", ""},
        {dev + "/ttyUSB0", "", "0403:6001", "Maker", "Adapter", "A1",
         dev + "/serial/by-id/" + FakeSysfs::kByIdName},
        {dev + "/ttyACM0", "", "2341:0043", "", "Modem", "", ""},
    };
    std::vector<Fields> listed;
    for (const PortInfo& p : ports) {
        listed.push_back({p.device, p.uart, p.usbId, p.manufacturer, p.product, p.serial, p.byId});
    }
    EXPECT_EQ(listed, expected);
}

TEST(PortList, ShowsThePortVariablesInForce) {
    ::setenv("ASTREL_COM2", "socket://127.0.0.1:4001", 1);
    ::setenv("ASTREL_COM10", "/dev/serial/by-id/x", 1);
    const std::vector<std::string> mappings = tool::PortMappings();
    ::unsetenv("ASTREL_COM2");
    ::unsetenv("ASTREL_COM10");
    EXPECT_EQ(mappings,
              (std::vector<std::string>{"ASTREL_COM2=socket://127.0.0.1:4001 (port index 1)",
                                        "ASTREL_COM10=/dev/serial/by-id/x (port index 9)"}));
    EXPECT_EQ(
        tool::FormatPorts({{"/dev/ttyUSB0", "", "0403:6001", "", "Adapter", "A1", "/b"}}, mappings),
        "/dev/ttyUSB0  USB 0403:6001  Adapter  serial A1\n    /b\n" + mappings[0] + "\n" +
            mappings[1] + "\n");
}

}  // namespace
}  // namespace astrel::test
