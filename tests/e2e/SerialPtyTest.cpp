// The serial transport over real pseudo-terminals, through the C interface
// only: a QT3 stage handle on one end, a scripted controller on the other.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
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

// Processor time (user and system) of the calling thread, in microseconds.
int64_t ThreadCpuUs() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    const auto us = [](const timeval& t) { return int64_t{t.tv_sec} * 1000000 + t.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// A QT3 stage handle with the driver's line defaults except the delimiter.
struct Stage {
    Stage(uint16_t port, uint16_t delimiter, int32_t timeOutMs) {
        SetUseStageName(handle, "QT3");
        const CommunicationParam param = {port,   0xFFFF, 0xFFFF,    0xFFFF,
                                          0xFFFF, 0xFFFF, delimiter, timeOutMs};
        SetCommunicationParam(handle, &param);
    }
    ~Stage() { ReleaseAstrel(handle); }
    // ReceiveStageData as "result/status reply".
    std::string Receive() const {
        char buffer[64] = {};
        int32_t status = -1;
        const int32_t result = ReceiveStageData(handle, buffer, int32_t{sizeof buffer}, &status);
        return std::to_string(result) + "/" + std::to_string(status) + " " + buffer;
    }
    const int32_t handle = static_cast<int32_t>(Astrel());
};

// Raw mode: CR and LF cross the line untranslated both ways and nothing is echoed.
TEST(SerialPty, BytesCrossTheLineUntranslated) {
    const struct {
        uint16_t delimiter;
        const char* command;
        std::string onTheLine;
        std::string controllerReply;
        std::string received;  // Stage::Receive
    } cases[] = {
        {0, "Q:A0B0C0", "Q:A0B0C0\r\n", "1200,-500D,0\r\n", "1/1 1200,-500D,0"},
        {1, "A\nB", "A\nB\r", "XY\r", "1/1 XY"},
        {2, "A\rB", "A\rB\n", "X\rY\r\n", "1/1 X\rY\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.onTheLine);
        PtyPeer peer(3);  // the stage opens it as COM4 through ASTREL_COM4
        Stage stage(3, c.delimiter, 1000);
        ASSERT_EQ(OpenComPort(stage.handle), 1);
        ASSERT_EQ(SendStageData(stage.handle, c.command), 1);
        EXPECT_EQ(peer.Read(), c.onTheLine);
        peer.Write(c.controllerReply);
        EXPECT_EQ(stage.Receive(), c.received);
        EXPECT_EQ(peer.Read(100), "");  // no echo of the reply
    }
}

// The device is looked up at every open, so a port can be re-pointed; an open
// drops input that arrived while the port was closed.
TEST(SerialPty, EachOpenFindsTheDeviceAnewAndDropsStaleInput) {
    PtyPeer first(5);
    Stage stage(5, 0, 1000);
    ASSERT_EQ(OpenComPort(stage.handle), 1);  // also puts the terminal into raw mode
    CloseComPort(stage.handle);
    first.Write("STALE\r\n");
    pollfd arrived{first.SlaveFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 1000), 1);  // the stale reply is on the stage's side
    ASSERT_EQ(OpenComPort(stage.handle), 1);
    first.Write("FRESH\r\n");
    EXPECT_EQ(stage.Receive(), "1/1 FRESH");

    PtyPeer second(5);  // ASTREL_COM6 now names the second terminal
    ASSERT_EQ(OpenComPort(stage.handle), 1);
    ASSERT_EQ(SendStageData(stage.handle, "TWO"), 1);
    EXPECT_EQ(second.Read(), "TWO\r\n");
    EXPECT_EQ(first.Read(100), "");
}

// An unplugged adapter ends a waiting read at once with the device-failure
// result, long before the time-out.
TEST(SerialPty, PeerClosingEndsTheReadAtOnce) {
    PtyPeer peer(1);
    Stage stage(1, 0, 5000);
    ASSERT_EQ(OpenComPort(stage.handle), 1);
    peer.Write("PART");
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer.CloseMaster();
    });
    const auto start = Clock::now();
    EXPECT_EQ(stage.Receive(), "0/2 ");  // the device failed
    const int64_t waited = MsSince(start);
    unplug.join();
    EXPECT_LT(waited, 1500);
    EXPECT_EQ(SendStageData(stage.handle, "Q"), 0);
}

// Waiting for a slow controller blocks instead of polling: a 2 s time-out
// costs next to no processor time.
// scripts/measure-wait-cpu.sh runs this test and reports the line it prints.
TEST(SerialPty, WaitingCostsLittleProcessorTime) {
    PtyPeer peer(2);
    Stage stage(2, 0, 2000);
    ASSERT_EQ(OpenComPort(stage.handle), 1);
    const auto start = Clock::now();
    const int64_t cpuBefore = ThreadCpuUs();
    EXPECT_EQ(stage.Receive(), "0/1 ");  // timed out
    const int64_t cpuUs = ThreadCpuUs() - cpuBefore;
    const int64_t wallMs = MsSince(start);
    std::printf("ReceiveStageData waiting 2000 ms for no reply: wall %lld ms, cpu %.3f ms\n",
                static_cast<long long>(wallMs), static_cast<double>(cpuUs) / 1000.0);
    EXPECT_GE(wallMs, 2000);
    EXPECT_LT(cpuUs, 100000);
}

// A stop written just before the port is closed still reaches the controller.
TEST(SerialPty, CommandWrittenBeforeCloseIsDelivered) {
    PtyPeer peer(0);
    for (int round = 0; round < 20; ++round) {
        Stage stage(0, 0, 1000);
        ASSERT_EQ(OpenComPort(stage.handle), 1);
        ASSERT_EQ(SendStageData(stage.handle, "L:"), 1);
        ASSERT_EQ(CloseComPort(stage.handle), 1);
        ASSERT_EQ(peer.Read(500, 5), "L:\r\n") << "round " << round;
    }
}

}  // namespace
}  // namespace astrel::test
