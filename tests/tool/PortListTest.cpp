// astrel ports' listing, against a fake sysfs and /dev tree.
#include <gtest/gtest.h>

#include "FakeSysfs.h"
#include "PortList.h"

namespace astrel::test {
namespace {

TEST(PortList, ListsUartsAndUsbDevicesInOrderWithTheirNames) {
    const FakeSysfs tree;
    const std::string dev = tree.dev.string();
    using Fields = std::vector<std::string>;  // device, UART, USB id, names, serial, by-id
    const std::vector<Fields> expected = {
        {dev + "/ttyS2", "4", "", "", "", "", ""},
        {dev + "/ttyS10", "4", "", "", "", "", ""},
        {dev + "/ttyUSB0", "", "0403:6001", "Maker", "Adapter", "A1",
         dev + "/serial/by-id/" + FakeSysfs::kByIdName},
        {dev + "/ttyACM0", "", "2341:0043", "", "Modem", "", ""},
    };
    std::vector<Fields> listed;
    for (const tool::PortInfo& p : tool::ListPorts(tree.sys.string(), dev)) {
        listed.push_back({p.device, p.uart, p.usbId, p.manufacturer, p.product, p.serial, p.byId});
    }
    EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace astrel::test
