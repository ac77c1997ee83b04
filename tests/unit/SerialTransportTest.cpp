// The serial transport through the in-memory device: framing by delimiter,
// the result and status rules of the reply reader, the line reader and the
// drain, time-outs across the tick counter's wrap, write stalls, line errors,
// a device that vanishes and a stop that comes before the write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "FakeSerialDevice.h"
#include "diag/LastError.h"
#include "serial/CSerialCommunication.h"

namespace astrel::test {
namespace {

constexpr int32_t kTimeOut = 5000;
constexpr uint32_t kTimedOutAfter = kTimeOut + 1;  // equal to the time-out is not yet late

enum Op { kReceive, kReadLine, kDiscard, kData, kCommand, kPurge, kReopen };

class SerialTransport : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.Attach(port);
        port.settings.timeOut = kTimeOut;
        Reopen(kDelimiterCrLf);
    }
    void Reopen(int32_t delimiter) {
        port.settings.delimiter = delimiter;
        ASSERT_EQ(port.OpenPort(), 1);
    }
    uint32_t Since(uint32_t start) const { return rig.clock.now_ - start; }
    int32_t Run(Op op, char* buffer, int32_t size, int32_t* status) {
        if (op == kReceive) return port.ReceiveData(buffer, size, status);
        if (op == kReadLine) return port.ReadLine(buffer, size);
        if (op == kDiscard) return port.DiscardInput();
        if (op == kData) return port.SendData("Q");
        if (op == kPurge) return port.PurgeInput();
        if (op == kReopen) return port.OpenPort();
        return port.SendCommand("Q", 0);
    }

    FakeRig rig;
    FakeLine& line = *rig.line;
    CSerialCommunication port;
};

struct Call {
    Op op;
    int32_t result;
    // The caller's buffer afterwards ("old": untouched; null: not checked).
    const char* buffer = "old";
    int32_t status = -1;  // what ReceiveData stores
};

// Each row queues `input` on a freshly opened port and makes its calls in turn.
TEST_F(SerialTransport, ReadersFollowDelimiterStatusAndLineRules) {
    const std::string longReply(510, 'x');
    // A reply read with another line behind it, and a read once that line is gone.
    const Call readAhead = {kReceive, 1, "OK", 2}, dropped = {kReceive, 0, "OK", 1};
    const struct {
        const char* name;
        int32_t delimiter;
        std::string input;
        int32_t size;
        std::vector<Call> calls;
        int lineErrors = 0;  // reported by the next this-many line-error checks
    } cases[] = {
        {"CrLfDropsFirstCrOnly", 0, "12\r3\r4\n", 16, {{kReceive, 1, "123\r4", 1}}},
        {"CrLfBareLfNeverEnds", 0, "OK\n", 16, {{kReceive, 0, "old", 1}}},
        {"CrLeavesLfWaiting", 1, "OK\r\n", 16, {{kReceive, 1, "OK", 2}, {kReceive, 1, "OK", 1}}},
        {"LfKeepsCr", 2, "OK\r\n", 16, {{kReceive, 1, "OK\r", 1}}},
        {"BareDelimiter", 0, "\r\n", 16, {{kReceive, 1, "old", 1}}},
        {"FillsSizeMinusOne", 0, "abc\r\n", 4, {{kReceive, 1, "abc", 1}}},
        {"Overlong", 0, "abcd\r\nxy\r\n", 4, {{kReceive, 1, "old", 2}, {kReceive, 1, "xy", 1}}},
        // Longer than one read from the device; the next reply is still on the device.
        {"LongReply", 0, longReply + "\r\nB\r\n", 999, {{kReceive, 1, longReply.c_str(), 2}}},
        {"ReceiveIgnoresLineErrors", 0, "OK\r\n", 16, {{kReceive, 1, "OK", 1}}, 5},
        {"ReadLineOverlong", 0, "ABCD\n", 4, {{kReadLine, 0, nullptr}}},
        {"ReadLineNul", 0, std::string("A\0B\r", 4), 16, {{kReadLine, 0, nullptr}}},
        {"ReadLineLineError", 0, "OK\r\n", 16, {{kReadLine, 0, nullptr}, {kReadLine, 1, "OK"}}, 1},
        {"DiscardWholeLines", 0, "X\r\nY\r\n", 16, {{kDiscard, 1}, {kReceive, 0, "old", 1}}},
        // Bytes read ahead of a reply wait as input until any purge drops them.
        {"PurgeDropsReadAhead", 0, "OK\r\nX\r\n", 16, {readAhead, {kPurge, 1, "OK"}, dropped}},
        {"DiscardDropsReadAhead", 0, "OK\r\nX\r\n", 16, {readAhead, {kDiscard, 1, "OK"}, dropped}},
        {"ReopenDropsReadAhead", 0, "OK\r\nX\r\n", 16, {readAhead, {kReopen, 1, "OK"}, dropped}},
        {"DiscardLineError", 0, "OK\r\n", 16, {{kDiscard, 0}, {kDiscard, 1}}, 1},
        {"CommandLineError", 0, "", 16, {{kCommand, 0}, {kCommand, 1}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reopen(c.delimiter);
        line.Queue(c.input);
        line.lineErrors = c.lineErrors;
        std::vector<char> buffer(1024, 'z');
        std::copy_n("old", 4, buffer.begin());
        for (const Call& expected : c.calls) {
            int32_t status = -1;
            EXPECT_EQ(Run(expected.op, buffer.data(), c.size, &status), expected.result);
            EXPECT_EQ(status, expected.status);
            if (expected.buffer != nullptr) {
                EXPECT_STREQ(buffer.data(), expected.buffer);
            }
        }
    }
}

// A reply that trickles in, and the end of a half-received line, must arrive
// within the time-out counted from the start (equal is still in time), also
// when the tick counter wraps during the wait.
TEST_F(SerialTransport, TimeOutsHoldAcrossTheTickWrap) {
    char buffer[16] = {};
    const struct {
        Op op;
        const char* before;  // waiting at the call
        const char* end;     // arrives later
    } ops[] = {{kReceive, "O", "K\r\n"}, {kReadLine, "\r\nAB", "\r"}, {kDiscard, "X\r\nY", "\n"}};
    for (const auto& op : ops) {
        for (uint32_t start : {0xFFFFF000u, 0xFFFFEC78u, 0xFFFFFFFFu, 0u, 0x7FFFFFFFu}) {
            for (bool late : {false, true}) {
                SCOPED_TRACE(::testing::Message() << op.op << " " << start << " " << late);
                ASSERT_EQ(port.PurgeInput(), 1);
                line.input.clear();
                rig.clock.now_ = start;
                line.Queue(op.before);
                line.Queue(op.end, late ? kTimedOutAfter + 1 : kTimeOut);
                EXPECT_EQ(Run(op.op, buffer, 16, nullptr), late ? 0 : 1);
                EXPECT_EQ(Since(start), late ? kTimedOutAfter : kTimeOut);
            }
        }
    }
}

// A controller that never falls quiet, with or without line ends, cannot
// hold the line reader or the drain past the time-out.
TEST_F(SerialTransport, EndlessInputEndsByTimeOut) {
    std::vector<char> buffer(1 << 16);
    const struct {
        Op op;
        const char* unit;  // repeated every 10 ms for twice the time-out
    } cases[] = {{kDiscard, "\r\nX"}, {kReadLine, "\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.op << " " << c.unit);
        ASSERT_EQ(port.PurgeInput(), 1);
        line.input.clear();
        const uint32_t start = rig.clock.now_;
        for (uint32_t ms = 0; ms < 2 * kTimeOut; ms += 10) line.Queue(c.unit, ms);
        EXPECT_EQ(Run(c.op, buffer.data(), static_cast<int32_t>(buffer.size()), nullptr), 0);
        EXPECT_LE(Since(start), kTimedOutAfter + 10);
    }
}

// A write may be taken in pieces and may stall (waiting half the time-out)
// once per call; a second stall, counted over a command's text and delimiter
// together, fails the call. An unknown delimiter code lets no SendData through
// and makes SendCommand write the bare text.
TEST_F(SerialTransport, WritesAddTheDelimiterAndSurviveOneStall) {
    const struct {
        const char* name;
        int32_t delimiter;
        bool command;  // SendCommand instead of SendData
        std::deque<int32_t> writes;
        int32_t result;
        std::string written;
    } cases[] = {
        {"OneStall", 0, false, {2, 0, 3}, 1, "ABCDEF\r\n"},
        {"SecondStall", 0, false, {0, 2, 0}, 0, "AB"},
        {"Failure", 0, false, {2, -1}, 0, "AB"},
        {"CommandStallsInTextAndDelimiter", 0, true, {0, 6, 0}, 0, "ABCDEF"},
        {"Cr", 1, false, {}, 1, "ABCDEF\r"},
        {"UnknownCode", 3, false, {}, 0, ""},
        {"CommandUnknownCode", 3, true, {}, 1, "ABCDEF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reopen(c.delimiter);
        line.writes = c.writes;
        const uint32_t start = rig.clock.now_;
        EXPECT_EQ(c.command ? port.SendCommand("ABCDEF", 0) : port.SendData("ABCDEF"), c.result);
        EXPECT_EQ(line.TakeWritten(), c.written);
        const auto stalls = static_cast<uint32_t>(std::count(c.writes.begin(), c.writes.end(), 0));
        EXPECT_EQ(Since(start), stalls * kTimeOut / 2);
    }
}

// Bad arguments, a vanished device and a closed port: every call fails at
// once and touches neither the line nor the caller's buffer.
TEST_F(SerialTransport, RefusedCallsTouchNeitherLineNorBuffer) {
    char buffer[16] = "old";
    int32_t status = -1;
    line.Queue("OK\r\n");
    EXPECT_EQ(port.SendData(""), 0);
    EXPECT_EQ(port.SendCommand(nullptr, 1), 0);
    EXPECT_EQ(port.ReceiveData(nullptr, 16, &status), 0);
    for (Op op : {kReceive, kReadLine}) EXPECT_EQ(Run(op, buffer, 0, &status), 0);
    EXPECT_EQ(status, 0);
    line.gone = true;  // every exchange fails (a drain may find the input quiet)
    for (Op op : {kData, kCommand, kReceive, kReadLine}) EXPECT_EQ(Run(op, buffer, 16, &status), 0);
    EXPECT_EQ(status, 2);
    line.gone = false;
    ASSERT_EQ(port.ClosePort(), 1);
    line.Queue("OK\r\n");
    for (Op op : {kData, kCommand, kReceive, kReadLine, kDiscard}) {
        EXPECT_EQ(Run(op, buffer, 16, &status), 0);
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rig.clock.now_, 0xFFFFF000u);  // nothing waited
    EXPECT_STREQ(buffer, "old");
    EXPECT_EQ(line.TakeWritten(), "");
    EXPECT_EQ(line.Ready(), 4u);
}

// A stop from another thread that comes while a command still drains the
// input ends that call before the command is written: the call's error says
// it was interrupted and quotes nothing it did not send.
TEST_F(SerialTransport, AStopBeforeTheWriteQuotesNothing) {
    WakeSignal wake;
    port.UseWakeSignal(&wake);
    line.Queue("half a li");
    line.onWait = [&wake] { wake.Raise(); };
    BeginCall();
    EXPECT_EQ(port.SendCommand("@ORG 1", 1), 0);
    EndCall("MoveOriginPosition", "COM1", true);
    EXPECT_STREQ(LastErrorText(),
                 "MoveOriginPosition on COM1: interrupted by another thread's stop, close or "
                 "release");
    EXPECT_EQ(line.TakeWritten(), "");
}

}  // namespace
}  // namespace astrel::test
