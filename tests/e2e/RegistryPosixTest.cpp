// How OpenComPort attaches, keeps and replaces drivers, and the line settings
// it opens with, over pseudo-terminals served by simulated controllers. (That
// a released handle's port closes, the unload test shows: unloading releases
// every handle the same way.)
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Astrel.h"
#include "SimController.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace astrel::test {
namespace {

using Registry = NoHandlesTaken;

// OpenComPort attaches a driver only for a maker with one and a model it
// knows, keeps an attached driver through failed opens and makers without a
// driver, and reopens it with the parameters current at each open.
TEST_F(Registry, OpenComPortAttachesKeepsAndReopensTheDriver) {
    SimController first(0, "QT3", 0);
    SimController second(0, "QT3", 4);
    second.CheckLineSettings(false);  // it is asked with a CR alone below
    const int32_t h = QtHandle();
    const struct {
        int16_t maker;
        const char* model;
        uint16_t port;
        int32_t opened;
        int32_t closed;  // CloseComPort afterwards: 0 when no driver is attached
    } steps[] = {
        {5, "QT3", 0, 0, 0},       // no driver for maker 5
        {0, "QT4", 0, 0, 0},       // a model the driver rejects: not kept
        {0, "qt3", 0xFFFF, 0, 1},  // models match without regard to case; no port
        {5, "qt3", 0, 1, 1},       // no driver for maker 5: the attached one is kept
    };
    for (const auto& step : steps) {
        SetUseMakerType(h, step.maker);
        SetUseStageName(h, step.model);
        SetCommunicationParams(h, step.port, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
        EXPECT_EQ(OpenComPort(h), step.opened) << step.maker << step.model;
        EXPECT_EQ(CloseComPort(h), step.closed) << step.maker << step.model;
    }
    EXPECT_EQ(OpenDescriptorsOn(first.Path()), 1);  // the simulator's alone
    EXPECT_EQ(SendStageData(h, "X"), 0);            // closed

    SetCommunicationParams(h, 4, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 1);  // COM5, CR only
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(SendStageData(h, "Q:A0"), 1);
    char reply[16] = {};
    int32_t status = 0;
    EXPECT_EQ(ReceiveStageData(h, reply, sizeof reply, &status), 1);  // the CR ended the line
    EXPECT_EQ(second.Heard(), std::vector<std::string>{"Q:A0"});
    EXPECT_TRUE(first.Heard().empty());
}

// A device set on the handle opens in place of the one its port index names
// and needs no port index; cleared, the port index names the device again.
TEST_F(Registry, ADeviceSetOnTheHandleTakesThePlaceOfThePortIndex) {
    SimController named(0, "QT3", 0);
    SimController chosen(0, "QT3", 1);
    const int32_t h = QtHandle(0xFFFF);
    char device[64] = "untouched";
    ASSERT_EQ(SetPortDevice(h, chosen.Path().c_str()), 1);
    const auto size = static_cast<int32_t>(chosen.Path().size());
    EXPECT_EQ(GetPortDevice(h, device, size), 0);  // no room for the terminator
    EXPECT_STREQ(device, "untouched");
    EXPECT_EQ(GetPortDevice(h, device, size + 1), 1);
    EXPECT_EQ(device, chosen.Path());
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(SendStageData(h, "Q:A0"), 1);
    EXPECT_TRUE(chosen.WaitHeard(1));

    ASSERT_EQ(SetPortDevice(h, ""), 1);
    SetCommunicationParams(h, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(GetPortDevice(h, device, sizeof device), 1);
    EXPECT_EQ(device, named.Path());
    ASSERT_EQ(OpenComPort(h), 1);
    EXPECT_EQ(SendStageData(h, "Q:A0"), 1);
    EXPECT_TRUE(named.WaitHeard(1));
    EXPECT_EQ(chosen.Heard().size(), 1u);
}

// The line settings a default QT handle opens with, read off the terminal:
// raw mode (set by the library even on a terminal left in cooked mode), the
// driver's defaults, and then codes given by the host.
TEST_F(Registry, RawModeDriverDefaultsAndHostCodesReachTheLine) {
    SimController controller(0, "QT3");
    const int fd = controller.SlaveFd();
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO;
    t.c_iflag |= ICRNL | INLCR;
    t.c_oflag |= OPOST;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    const int32_t h = QtHandle();
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

    // Codes given by the host: 19200 baud, odd parity, two stop bits, RTS/CTS.
    // (A pseudo-terminal always keeps eight bits and drops the parity-enable
    // flag; the parity sense and the rest stay as set.)
    SetCommunicationParams(h, 0, 8, 2, 0, 2, 3, 0xFFFF);
    ASSERT_EQ(OpenComPort(h), 1);
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(PARODD | CSTOPB | CRTSCTS));
}

}  // namespace
}  // namespace astrel::test
