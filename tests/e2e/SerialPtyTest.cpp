// The serial transport over real pseudo-terminals, through the C interface
// only: a QT3 stage handle on one end, a scripted controller on the other.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "Astrel.h"
#include "PtyPeer.h"

namespace astrel::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Processor time (user and system) of the calling thread, in milliseconds.
int64_t ThreadCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    const auto ms = [](const timeval& t) { return int64_t{t.tv_sec} * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A QT3 stage handle with the driver's line defaults except the delimiter.
class Stage {
  public:
    Stage(uint16_t port, uint16_t delimiter, int32_t timeOutMs)
        : handle_(static_cast<int32_t>(Astrel())) {
        SetUseMakerType(handle_, 0);
        SetUseStageName(handle_, "QT3");
        const CommunicationParam param = {port,   0xFFFF, 0xFFFF,    0xFFFF,
                                          0xFFFF, 0xFFFF, delimiter, timeOutMs};
        SetCommunicationParam(handle_, &param);
    }
    ~Stage() { ReleaseAstrel(handle_); }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    int32_t Open() { return OpenComPort(handle_); }
    int32_t Close() { return CloseComPort(handle_); }
    int32_t Send(const char* text) { return SendStageData(handle_, text); }
    int32_t Receive(std::string& reply, int32_t& status) {
        char buffer[64] = {};
        const int32_t result = ReceiveStageData(handle_, buffer, int32_t{sizeof buffer}, &status);
        reply = buffer;
        return result;
    }

  private:
    int32_t handle_;
};

// Raw mode: CR and LF cross the line untranslated both ways and nothing is echoed.
TEST(SerialPty, BytesCrossTheLineUntranslated) {
    struct {
        uint16_t delimiter;
        const char* command;
        std::string onTheLine;
        std::string controllerReply;
        std::string reply;
    } const cases[] = {
        {0, "Q:A0B0C0", "Q:A0B0C0\r\n", "1200,-500D,0\r\n", "1200,-500D,0"},
        {1, "A\nB", "A\nB\r", "XY\r", "XY"},
        {2, "A\rB", "A\rB\n", "X\rY\r\n", "X\rY\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.onTheLine);
        PtyPeer peer(3);  // the stage opens it as COM4 through ASTREL_COM4
        Stage stage(3, c.delimiter, 1000);
        ASSERT_EQ(stage.Open(), 1);
        ASSERT_EQ(stage.Send(c.command), 1);
        EXPECT_EQ(peer.Read(), c.onTheLine);
        peer.Write(c.controllerReply);
        std::string reply;
        int32_t status = -1;
        EXPECT_EQ(stage.Receive(reply, status), 1);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(peer.Read(100), "");  // no echo of the reply
    }
}

// The device is looked up again at every open, so a port can be re-pointed.
TEST(SerialPty, EachOpenReadsTheDeviceFromTheEnvironment) {
    PtyPeer first(5);
    Stage stage(5, 0, 1000);
    ASSERT_EQ(stage.Open(), 1);
    ASSERT_EQ(stage.Send("ONE"), 1);
    EXPECT_EQ(first.Read(), "ONE\r\n");
    stage.Close();

    PtyPeer second(5);  // ASTREL_COM6 now names the second terminal
    ASSERT_EQ(stage.Open(), 1);
    ASSERT_EQ(stage.Send("TWO"), 1);
    EXPECT_EQ(second.Read(), "TWO\r\n");
    EXPECT_EQ(first.Read(100), "");
}

TEST(SerialPty, OpeningDropsStaleInput) {
    PtyPeer peer(0);
    Stage stage(0, 0, 1000);
    ASSERT_EQ(stage.Open(), 1);  // puts the terminal into raw mode
    stage.Close();
    peer.Write("STALE\r\n");
    pollfd arrived{peer.SlaveFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 1000), 1);  // the stale reply is on the stage's side

    ASSERT_EQ(stage.Open(), 1);
    peer.Write("FRESH\r\n");
    std::string reply;
    int32_t status = -1;
    EXPECT_EQ(stage.Receive(reply, status), 1);
    EXPECT_EQ(reply, "FRESH");
    EXPECT_EQ(status, 1);
}

// An unplugged adapter ends a waiting read at once with the device-failure
// result, long before the time-out.
TEST(SerialPty, PeerClosingEndsTheReadAtOnce) {
    PtyPeer peer(1);
    Stage stage(1, 0, 5000);
    ASSERT_EQ(stage.Open(), 1);
    peer.Write("PART");
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer.CloseMaster();
    });
    const auto start = Clock::now();
    std::string reply;
    int32_t status = -1;
    EXPECT_EQ(stage.Receive(reply, status), 0);
    const int64_t waited = MsSince(start);
    unplug.join();
    EXPECT_EQ(status, 2);
    EXPECT_LT(waited, 1500);
    EXPECT_EQ(stage.Send("Q"), 0);
    EXPECT_EQ(stage.Close(), 1);
}

// Waiting for a slow controller blocks instead of polling: a 2 s time-out
// costs next to no processor time.
TEST(SerialPty, WaitingCostsLittleProcessorTime) {
    PtyPeer peer(2);
    Stage stage(2, 0, 2000);
    ASSERT_EQ(stage.Open(), 1);
    const auto start = Clock::now();
    const int64_t cpuBefore = ThreadCpuMs();
    std::string reply;
    int32_t status = -1;
    EXPECT_EQ(stage.Receive(reply, status), 0);
    const int64_t cpu = ThreadCpuMs() - cpuBefore;
    const int64_t waited = MsSince(start);
    EXPECT_EQ(status, 1);
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 3000);
    EXPECT_LT(cpu, 100);
}

// A stop written just before the port is closed still reaches the controller.
TEST(SerialPty, CommandWrittenBeforeCloseIsDelivered) {
    PtyPeer peer(0);
    for (int round = 0; round < 20; ++round) {
        Stage stage(0, 0, 1000);
        ASSERT_EQ(stage.Open(), 1);
        ASSERT_EQ(stage.Send("L:"), 1);
        ASSERT_EQ(stage.Close(), 1);
        ASSERT_EQ(peer.Read(500, 5), "L:\r\n") << "round " << round;
    }
}

}  // namespace
}  // namespace astrel::test
