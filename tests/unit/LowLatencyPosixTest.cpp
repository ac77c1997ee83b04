// Low-latency mode of USB serial adapters: which devices are asked, what is
// set and given back, against a fake sysfs tree and serial flags the test
// plays the driver for.
#include <gtest/gtest.h>
#include <linux/serial.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "FakeSerialDevice.h"
#include "FakeSysfs.h"
#include "serial/CSerialCommunication.h"
#include "serial/SerialDevicePosixLowLatency.h"

namespace astrel::test {
namespace {

using posix::LowLatency;

TEST(LowLatency, AskedOfUsbAdaptersOnlyAndGivenBackAtClose) {
    const FakeSysfs tree;
    const struct {
        const char* name;
        std::string device;
        std::optional<int> flags;  // what the driver reports; none: it refuses TIOCGSERIAL
        bool setRefused;
        LowLatency outcome;
        std::optional<int> flagsSet;  // what was set at open
    } rows[] = {
        {"UsbAdapter", (tree.dev / "ttyUSB0").string(), 0x40, false, LowLatency::kSet,
         0x40 | ASYNC_LOW_LATENCY},
        {"ByIdLink", (tree.dev / "serial/by-id" / FakeSysfs::kByIdName).string(), 0, false,
         LowLatency::kSet, ASYNC_LOW_LATENCY},
        {"UsbModem", (tree.dev / "ttyACM0").string(), 0, false, LowLatency::kSet,
         ASYNC_LOW_LATENCY},
        {"AlreadyOn", (tree.dev / "ttyUSB0").string(), ASYNC_LOW_LATENCY, false,
         LowLatency::kAlreadySet, std::nullopt},
        {"NoSerialFlags", (tree.dev / "ttyUSB0").string(), std::nullopt, false,
         LowLatency::kRefused, std::nullopt},
        {"SettingRefused", (tree.dev / "ttyUSB0").string(), 0, true, LowLatency::kRefused,
         std::nullopt},
        {"Uart", (tree.dev / "ttyS0").string(), 0, false, LowLatency::kNotUsb, std::nullopt},
        {"PseudoTerminal", "/dev/pts/7", 0, false, LowLatency::kNotUsb, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<int> flags = row.flags;
        std::optional<int> setAtOpen;
        int sets = 0;
        const posix::SerialFlags io{
            [&](int fd, int& out) {
                EXPECT_EQ(fd, 9);
                if (flags) out = *flags;
                return flags.has_value();
            },
            [&](int, int in) {
                ++sets;
                if (row.setRefused) return false;
                flags = in;
                return true;
            },
        };
        const LowLatency outcome = posix::RequestLowLatency(9, row.device, tree.sys.string(), io);
        EXPECT_EQ(outcome, row.outcome);
        if (sets > 0 && !row.setRefused) setAtOpen = flags;
        EXPECT_EQ(setAtOpen, row.flagsSet);
        EXPECT_EQ(sets, row.flagsSet || row.setRefused ? 1 : 0);
        EXPECT_EQ(posix::LowLatencyNote(outcome).empty(), outcome == LowLatency::kNotUsb);
        if (outcome == LowLatency::kSet) {
            posix::RestoreLowLatency(9, io);
            EXPECT_EQ(flags, row.flags) << "the driver's other flags and the old setting are back";
        }
    }
}

// What the device did at open (here, the low-latency mode) follows the
// "opened" line of the trace, time-stamped as every line is.
TEST(LowLatency, TheTraceNotesItAtOpen) {
    const std::string path = ::testing::TempDir() + "astrel-open-note.log";
    std::remove(path.c_str());
    FakeRig rig;
    CSerialCommunication port;
    rig.Attach(port);
    rig.line->openNote = posix::LowLatencyNote(LowLatency::kSet);
    ::setenv("ASTREL_TRACE", path.c_str(), 1);
    ASSERT_EQ(port.OpenPort(), 1);
    ::unsetenv("ASTREL_TRACE");
    std::ifstream in(path);
    std::vector<std::string> notes;
    for (std::string text; std::getline(in, text);) notes.push_back(text.substr(13));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "handle -1 /dev/ttyS0 -- \"\" (opened)",
                         "handle -1 /dev/ttyS0 -- \"\" (" + rig.line->openNote + ")"}));
}

}  // namespace
}  // namespace astrel::test
