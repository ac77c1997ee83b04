// Low-latency mode of USB serial adapters: which devices are asked, what is
// set and given back, against a fake sysfs tree and serial flags the test
// plays the driver for.
#include <gtest/gtest.h>
#include <linux/serial.h>

#include <cerrno>
#include <string>

#include "FakeSysfs.h"
#include "serial/SerialDevicePosixLowLatency.h"

namespace astrel::test {
namespace {

using posix::LowLatency;

TEST(LowLatency, AskedOfUsbAdaptersOnlyAndGivenBackAtClose) {
    constexpr int kOn = ASYNC_LOW_LATENCY, kNone = -1;  // kNone: TIOCGSERIAL refused
    const FakeSysfs tree;
    const struct {
        std::string device;  // under the fake /dev
        int flags;           // what the driver reports
        int setError;        // what setting them gives: 0 accepted, else the error number
        LowLatency outcome;
        int asked;  // the flags asked for at open (kNone: nothing asked)
    } rows[] = {
        {"ttyUSB0", 0x40, 0, LowLatency::kSet, 0x40 | kOn},
        {std::string("serial/by-id/") + FakeSysfs::kByIdName, 0, 0, LowLatency::kSet, kOn},
        {"ttyUSB0", kOn, 0, LowLatency::kAlreadySet, kNone},
        {"ttyUSB0", kNone, 0, LowLatency::kRefused, kNone},
        {"ttyUSB0", 0, EINVAL, LowLatency::kRefused, kOn},
        {"ttyUSB0", 0, EPERM, LowLatency::kForbidden, kOn},
        {"ttyS0", 0, 0, LowLatency::kNotUsb, kNone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.device + " " + std::to_string(row.flags));
        int flags = row.flags, asked = kNone;
        const auto get = [&](int, int& out) { return (out = flags) != kNone; };
        const auto set = [&](int, int in) {
            asked = in;
            if (row.setError == 0) flags = in;
            return row.setError;
        };
        const posix::SerialFlags io{get, set};
        const LowLatency outcome =
            posix::RequestLowLatency(9, (tree.dev / row.device).string(), tree.sys.string(), io);
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(asked, row.asked);
        if (outcome == LowLatency::kSet) {
            posix::RestoreLowLatency(9, io);
            EXPECT_EQ(flags, row.flags) << "the driver's other flags and the old setting are back";
        }
    }
}

}  // namespace
}  // namespace astrel::test
