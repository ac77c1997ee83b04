// How OpenComPort attaches, keeps and replaces drivers, and the line settings
// it opens with, over pseudo-terminals served by simulated controllers. (That
// a released handle's port closes, the unload test shows: unloading releases
// every handle the same way.)
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Astrel.h"
#include "SimController.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace astrel::test {
namespace {

using Registry = NoHandlesTaken;

// The port of the far end of socket `fd`; 0 when it is not a connected socket.
int PeerPort(int fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return 0;
    return ntohs(peer.sin_port);
}

// OpenComPort attaches a driver only for a model it knows, and keeps an
// attached driver through failed opens and makers without a driver. (That
// each open takes the parameters current at it, the device test below shows;
// that a maker without a driver attaches none, the no-stage test.)
TEST_F(Registry, OpenComPortAttachesAndKeepsTheDriver) {
    SimController controller(0, "QT3", 0);
    const int32_t h = QtHandle();
    const struct {
        int16_t maker;
        const char* model;
        uint16_t port;
        int32_t opened;
        int32_t closed;  // CloseComPort afterwards: 0 when no driver is attached
    } steps[] = {
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
    EXPECT_EQ(OpenDescriptorsOn(controller.Path()), 1);  // the simulator's alone
    EXPECT_EQ(SendStageData(h, "X"), 0);                 // closed
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
}

// The line settings a QT handle opens with, read off the terminal: raw mode
// (set by the library even on a terminal left in cooked mode), and codes
// given by the host. (Each maker's defaults: the simulators check the line
// at every command they hear.)
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

// Every descriptor two handles open (a terminal, a connection to a network
// serial server, the trace file, their wake signals) is closed when the host
// starts another program; and the connection gives a server that died up
// within 10 s: it probes a quiet server and waits no longer for the
// acknowledgement of what it sent.
TEST_F(Registry, DescriptorsCloseOnExecAndADeadServerIsGivenUp) {
    SimController local(0, "QT3", 0), remote(0, "QT3", 1, true);
    const std::string trace = ::testing::TempDir() + "astrel-exec-test.log";
    ::setenv("ASTREL_TRACE", trace.c_str(), 1);
    const std::set<int> before = OpenDescriptors();
    ASSERT_EQ(OpenComPort(QtHandle(0)), 1);
    ASSERT_EQ(OpenComPort(QtHandle(1)), 1);
    ::unsetenv("ASTREL_TRACE");
    const int serverPort = std::atoi(remote.Path().substr(remote.Path().rfind(':') + 1).c_str());
    int connections = 0;
    for (const int fd : OpenDescriptors()) {
        if (before.count(fd) != 0) continue;
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "descriptor " << fd;
        if (PeerPort(fd) != serverPort) continue;
        ++connections;
        int keepalive = 0;
        unsigned deadMs = 0;
        socklen_t length = sizeof keepalive;
        ::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &keepalive, &length);
        length = sizeof deadMs;
        ::getsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &deadMs, &length);
        EXPECT_EQ(keepalive, 1);
        EXPECT_GT(deadMs, 0u);
        EXPECT_LE(deadMs, 10000u);
    }
    EXPECT_EQ(connections, 1);
    std::remove(trace.c_str());
}

}  // namespace
}  // namespace astrel::test
