// The serial transport through the in-memory device: framing by delimiter,
// the result and status rules of the reply reader, the line reader and the
// drain, time-outs across the tick counter's wrap, write stalls, line errors
// and devices that fail or vanish.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeSerialDevice.h"
#include "serial/CSerialCommunication.h"

namespace astrel::test {
namespace {

constexpr int32_t kTimeOut = 5000;
constexpr uint32_t kTimedOutAfter = kTimeOut + 1;  // equal to the time-out is not yet late

// Size of this process's address space in bytes.
uint64_t VirtualSize() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    return pages * 4096u;
}

// The in-memory device with a few extra knobs: a script of write results
// (n: take at most n bytes, 0: stall, -1: fail), a query that fails once the
// input is drained, a device that vanishes while the port waits, and records
// of what the transport asked of it. A port that keeps polling without end
// finds the device gone, so a runaway loop fails its test instead of hanging.
class ScriptedDevice : public FakeSerialDevice {
  public:
    explicit ScriptedDevice(std::shared_ptr<FakeLine> line)
        : FakeSerialDevice(line), line_(std::move(line)) {}

    std::deque<int32_t> writes;
    bool queryFailsWhenDrained = false;
    uint32_t unplugAfterMs = 0;  // 0: never
    uint32_t lastWriteTimeout = 0;
    int inputCalls = 0;  // queries, reads and waits
    uint64_t peakVirtualSize = 0;

    bool Query(PortState& state) override {
        if (Runaway() || (queryFailsWhenDrained && line_->input.empty())) return false;
        return FakeSerialDevice::Query(state);
    }
    int32_t Read(uint8_t* buffer, uint32_t size) override {
        peakVirtualSize = std::max(peakVirtualSize, VirtualSize());
        return Runaway() ? -1 : FakeSerialDevice::Read(buffer, size);
    }
    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override {
        lastWriteTimeout = timeoutMs;
        if (writes.empty()) return FakeSerialDevice::Write(data, size, timeoutMs);
        const int32_t step = writes.front();
        writes.pop_front();
        if (step <= 0) return step;
        return FakeSerialDevice::Write(data, std::min(size, static_cast<uint32_t>(step)),
                                       timeoutMs);
    }
    WaitResult WaitReadable(uint32_t timeoutMs) override {
        if (Runaway()) return WaitResult::kFailed;
        if (unplugAfterMs == 0) return FakeSerialDevice::WaitReadable(timeoutMs);
        line_->clock.Advance(unplugAfterMs);
        line_->hungUp = true;
        return WaitResult::kFailed;
    }

  private:
    bool Runaway() { return ++inputCalls > 100000; }
    std::shared_ptr<FakeLine> line_;
};

class SerialTransport : public ::testing::Test {
  protected:
    SerialTransport() {
        auto owned = std::make_unique<ScriptedDevice>(rig.line);
        device = owned.get();
        port.UseDevice(std::move(owned));
        port.UseClock(rig.clock);
    }
    void SetUp() override { Reopen(kDelimiterCrLf); }

    void Reopen(int32_t delimiter, int32_t timeOut = kTimeOut) {
        port.settings.delimiter = delimiter;
        port.settings.timeOut = timeOut;
        ASSERT_EQ(port.OpenPort(), 1);
    }
    uint32_t Since(uint32_t start) const { return rig.clock.now_ - start; }

    FakeRig rig;
    FakeLine& line = *rig.line;
    ScriptedDevice* device = nullptr;  // owned by the port
    CSerialCommunication port;
};

struct Call {
    int32_t result;
    int32_t status;
    std::string buffer;  // what the caller's buffer holds afterwards ("old": untouched)
};
struct ReceiveCase {
    const char* name;
    int32_t delimiter;
    std::string input;
    int32_t size;
    std::vector<Call> calls;
};

const ReceiveCase kReceiveCases[] = {
    {"CrLf", 0, "OK\r\n", 16, {{1, 1, "OK"}}},
    {"CrLfDropsFirstCrOnly", 0, "12\r3\r4\n", 16, {{1, 1, "123\r4"}}},
    {"CrLfLfBeforeCrIsText", 0, "A\nB\r\n", 16, {{1, 1, "A\nB"}}},
    {"CrLfBareLfNeverEnds", 0, "OK\n", 16, {{0, 1, "old"}}},
    {"CrLfMoreWaiting", 0, "OK\r\nNEXT\r\n", 16, {{1, 2, "OK"}, {1, 1, "NEXT"}}},
    {"CrLeavesLfWaiting", 1, "OK\r\n", 16, {{1, 2, "OK"}, {1, 1, "OK"}}},
    {"CrEndsAtLf", 1, "OK\nX", 16, {{1, 2, "OK"}}},
    {"LfKeepsCr", 2, "OK\r\n", 16, {{1, 1, "OK\r"}}},
    {"LfBareCrNeverEnds", 2, "OK\r", 16, {{0, 1, "old"}}},
    {"UnknownCodeEndsNothing", 3, "OK\r\nOK\n", 16, {{0, 1, "old"}}},
    {"BareDelimiter", 0, "\r\n", 16, {{1, 1, "old"}}},
    {"FillsSizeMinusOne", 0, "abc\r\n", 4, {{1, 1, "abc"}}},
    {"OverlongUntouched", 0, "abcd\r\n", 4, {{1, 1, "old"}}},
    {"OverlongConsumedToDelimiter", 0, "abcdefgh\r\nxy\r\n", 4, {{1, 2, "old"}, {1, 1, "xy"}}},
    {"SizeOneHoldsNoReply", 0, "a\r\n", 1, {{1, 1, "old"}}},
    {"LongerThanOneRead", 0, std::string(700, 'x') + "\r\n", 1000, {{1, 1, std::string(700, 'x')}}},
    {"SizeZero", 0, "OK\r\n", 0, {{0, 0, "old"}}},
    {"NothingArrives", 0, "", 16, {{0, 1, "old"}}},
};

TEST_F(SerialTransport, ReceiveDataFollowsDelimiterAndStatusRules) {
    for (const ReceiveCase& c : kReceiveCases) {
        SCOPED_TRACE(c.name);
        Reopen(c.delimiter);
        line.Queue(c.input);
        std::vector<char> buffer(1024, 'z');
        std::copy_n("old", 4, buffer.begin());
        for (const Call& expected : c.calls) {
            const uint32_t start = rig.clock.now_;
            int32_t status = -1;
            EXPECT_EQ(port.ReceiveData(buffer.data(), c.size, &status), expected.result);
            EXPECT_EQ(status, expected.status);
            EXPECT_EQ(std::string(buffer.data()), expected.buffer);
            const bool timedOut = expected.result == 0 && expected.status == 1;
            EXPECT_EQ(Since(start), timedOut ? kTimedOutAfter : 0u);
        }
    }
}

// A host may pass a null status pointer and a capacity far beyond the reply;
// a 2 GiB capacity takes no memory of that size.
TEST_F(SerialTransport, ReceiveDataTrustsOnlyTheBytesItStores) {
    line.Queue("OK\r\n");
    char buffer[8] = {};
    int32_t status = -1;
    EXPECT_EQ(port.ReceiveData(nullptr, 8, &status), 0);
    EXPECT_EQ(status, 0);
    const uint64_t before = VirtualSize();
    EXPECT_EQ(port.ReceiveData(buffer, INT32_MAX, nullptr), 1);
    EXPECT_STREQ(buffer, "OK");
    EXPECT_LT(device->peakVirtualSize, before + (64u << 20));
}

// Bytes read ahead of the reply count as waiting input, and every purge drops them.
TEST_F(SerialTransport, InputReadAheadIsWaitingUntilPurged) {
    const std::vector<std::function<int32_t()>> purges = {
        [&] { return port.PurgeInput(); },
        [&] { return port.DiscardInput(); },
        [&] { return port.OpenPort(); },
    };
    for (const auto& purge : purges) {
        line.Queue("OK\r\nSTALE\r\n");
        char buffer[16] = {};
        int32_t status = 0;
        ASSERT_EQ(port.ReceiveData(buffer, 16, &status), 1);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(purge(), 1);
        EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
        EXPECT_EQ(status, 1);
    }
}

// A reply that trickles in, and the end of a half-received line, must arrive
// within the time-out counted from the start (equal is still in time), also
// when the tick counter wraps during the wait.
TEST_F(SerialTransport, TimeOutsHoldAcrossTheTickWrap) {
    char buffer[16] = {};
    struct Op {
        const char* name;
        const char* before;  // waiting at the call
        const char* end;     // arrives later
        std::function<int32_t()> run;
    };
    const Op ops[] = {
        {"ReceiveData", "O", "K\r\n", [&] { return port.ReceiveData(buffer, 16, nullptr); }},
        {"ReadLine", "\r\nAB", "\r", [&] { return port.ReadLine(buffer, 16); }},
        {"DiscardInput", "X\r\nY", "\n", [&] { return port.DiscardInput(); }},
    };
    const uint32_t starts[] = {0xFFFFF000u, 0xFFFFEC78u, 0xFFFFFFFFu, 0u, 0x7FFFFFFFu};
    for (const Op& op : ops) {
        for (uint32_t start : starts) {
            for (bool late : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << op.name << " start " << start << " late " << late);
                ASSERT_EQ(port.PurgeInput(), 1);
                line.input.clear();
                rig.clock.now_ = start;
                line.Queue(op.before);
                line.Queue(op.end, late ? kTimedOutAfter + 1 : kTimeOut);
                EXPECT_EQ(op.run(), late ? 0 : 1);
                EXPECT_EQ(Since(start), late ? kTimedOutAfter : kTimeOut);
            }
        }
    }
}

struct WriteCase {
    const char* name;
    bool command;  // SendCommand instead of SendData
    std::deque<int32_t> writes;
    int32_t result;
    std::string written;
};

TEST_F(SerialTransport, WritesSurvivePartialWritesAndOneStall) {
    const WriteCase cases[] = {
        {"Whole", false, {}, 1, "ABCDEF\r\n"},
        {"Partial", false, {3, 1, 2, 1}, 1, "ABCDEF\r\n"},
        {"SecondStallFails", false, {0, 2, 0}, 0, "AB"},
        {"StallTolerated", false, {2, 0, 3}, 1, "ABCDEF\r\n"},
        {"Failure", false, {2, -1}, 0, "AB"},
        {"CommandStallInTextAndDelimiter", true, {0, 6, 0}, 0, "ABCDEF"},
        {"CommandOneStall", true, {0, 4, 2, 1}, 1, "ABCDEF\r\n"},
        {"CommandFailure", true, {6, -1}, 0, "ABCDEF"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        device->writes = c.writes;
        EXPECT_EQ(c.command ? port.SendCommand("ABCDEF", 0) : port.SendData("ABCDEF"), c.result);
        EXPECT_EQ(line.TakeWritten(), c.written);
    }
}

TEST_F(SerialTransport, WriteWaitsAtMostHalfTheTimeOut) {
    const std::pair<int32_t, uint32_t> cases[] = {{5000, 2500}, {1, 0}, {3, 1}};
    for (const auto& [timeOut, writeTimeOut] : cases) {
        Reopen(kDelimiterCrLf, timeOut);
        ASSERT_EQ(port.SendData("X"), 1);
        EXPECT_EQ(device->lastWriteTimeout, writeTimeOut);
    }
}

TEST_F(SerialTransport, DelimiterCodeDecidesWhatFollowsACommand) {
    struct {
        int32_t delimiter;
        int32_t dataResult;
        std::string dataBytes;
        std::string commandBytes;
    } const cases[] = {
        {0, 1, "Q:A0\r\n", "Q:A0\r\n"},
        {1, 1, "Q:A0\r", "Q:A0\r"},
        {2, 1, "Q:A0\n", "Q:A0\n"},
        {3, 0, "", "Q:A0"},  // an unknown code sends nothing; SendCommand sends the bare text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delimiter);
        Reopen(c.delimiter);
        EXPECT_EQ(port.SendData("Q:A0"), c.dataResult);
        EXPECT_EQ(line.TakeWritten(), c.dataBytes);
        EXPECT_EQ(port.SendCommand("Q:A0", 0), 1);
        EXPECT_EQ(line.TakeWritten(), c.commandBytes);
    }
    EXPECT_EQ(port.SendData(""), 0);
    EXPECT_EQ(port.SendData(nullptr), 0);
    EXPECT_EQ(port.SendCommand("", 0), 0);
    EXPECT_EQ(port.SendCommand(nullptr, 0), 0);
    EXPECT_EQ(line.TakeWritten(), "");
}

TEST_F(SerialTransport, ReadLineSkipsLineEndRunsAndBoundsTheLine) {
    struct {
        std::string input;
        int32_t size;
        std::vector<const char*> lines;  // one call each; nullptr: the call fails
    } const cases[] = {
        {"\r\n\r\nABC\r", 16, {"ABC"}},
        {"ONE\r\n\r\nTWO\n", 16, {"ONE", "TWO"}},
        {"ABC\n", 4, {"ABC"}},
        {"ABCD\n", 4, {nullptr}},
        {std::string("A\0B\r", 4), 16, {nullptr}},
        {"\r\n\r\n", 16, {nullptr}},
        {"AB", 16, {nullptr}},
        {"AB\r", 0, {nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        ASSERT_EQ(port.PurgeInput(), 1);
        line.Queue(c.input);
        for (const char* expected : c.lines) {
            char buffer[16] = {};
            EXPECT_EQ(port.ReadLine(buffer, c.size), expected != nullptr ? 1 : 0);
            if (expected != nullptr) {
                EXPECT_STREQ(buffer, expected);
            }
        }
    }
}

TEST_F(SerialTransport, DiscardInputDropsWholeLinesAndWaitsOutAHalfOne) {
    struct {
        const char* waiting;
        int32_t result;
        uint32_t elapsed;
    } const cases[] = {
        {"", 1, 0},
        {"X\r\nY\r\n", 1, 0},
        {"\r\n\n", 1, 0},
        {"X\r\nY", 0, kTimedOutAfter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waiting);
        line.Queue(c.waiting);
        const uint32_t start = rig.clock.now_;
        EXPECT_EQ(port.DiscardInput(), c.result);
        EXPECT_EQ(Since(start), c.elapsed);
        EXPECT_EQ(line.Ready(), 0u);
    }
    // Before a command, stale replies are drained and the command still goes out.
    line.Queue("OLD\r\n");
    EXPECT_EQ(port.SendCommand("Q", 1), 1);
    EXPECT_EQ(line.TakeWritten(), "Q\r\n");
    EXPECT_EQ(line.Ready(), 0u);
}

// A line error fails the line-oriented trio once (the query clears it); the
// reply reader reads through it.
TEST_F(SerialTransport, LineErrorsFailLineOperationsButNotReceiveData) {
    char buffer[16] = {};
    const std::vector<std::pair<const char*, std::function<int32_t()>>> ops = {
        {"SendCommand", [&] { return port.SendCommand("Q", 0); }},
        {"SendCommandDiscarding", [&] { return port.SendCommand("Q", 1); }},
        {"ReadLine", [&] { return port.ReadLine(buffer, 16); }},
        {"DiscardInput", [&] { return port.DiscardInput(); }},
    };
    for (const auto& [name, run] : ops) {
        SCOPED_TRACE(name);
        ASSERT_EQ(port.PurgeInput(), 1);
        line.Queue("OK\r\n");
        line.lineErrors = 1;
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(line.TakeWritten(), "");
        EXPECT_EQ(run(), 1);
        line.TakeWritten();
    }
    line.Queue("OK\r\n");
    line.lineErrors = 5;
    int32_t status = 0;
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 1);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(buffer, "OK");
}

TEST_F(SerialTransport, FailingOrVanishingDeviceEndsEveryCallAtOnce) {
    char buffer[16] = {};
    int32_t status = -1;
    line.Queue("O");
    line.Queue("K\r\n", 1000);
    device->unplugAfterMs = 100;  // the adapter is pulled while the port waits
    const int callsBefore = device->inputCalls;
    uint32_t start = rig.clock.now_;
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(Since(start), 100u);
    EXPECT_LE(device->inputCalls - callsBefore, 5);
    device->unplugAfterMs = 0;
    // From then on every call fails without waiting.
    start = rig.clock.now_;
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(port.ReadLine(buffer, 16), 0);
    EXPECT_EQ(port.DiscardInput(), 0);
    EXPECT_EQ(port.SendData("Q"), 0);
    EXPECT_EQ(port.SendCommand("Q", 0), 0);
    EXPECT_EQ(Since(start), 0u);

    line.hungUp = false;
    line.failQuery = true;
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
    EXPECT_EQ(status, 2);
    line.failQuery = false;
    line.input.clear();
    line.failRead = true;
    line.Queue("OK\r\n");
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
    EXPECT_EQ(status, 2);
    line.failRead = false;
    device->queryFailsWhenDrained = true;  // only the query after the reply fails
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(buffer, "OK");
}

TEST_F(SerialTransport, OpenPortNamesTheDeviceOrStaysClosed) {
    for (int32_t index : {-1, 10, INT32_MIN}) {
        SCOPED_TRACE(index);
        const int opens = line.opens;
        port.settings.port = index;
        EXPECT_EQ(port.OpenPort(), 0);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(line.opens, opens);
    }
    port.settings.port = 9;
    ::unsetenv("ASTREL_COM10");
    ASSERT_EQ(port.OpenPort(), 1);
    EXPECT_EQ(line.openedPath, "/dev/ttyS9");
    ::setenv("ASTREL_COM10", "/dev/pts/77", 1);  // read again at every open
    ASSERT_EQ(port.OpenPort(), 1);
    EXPECT_EQ(line.openedPath, "/dev/pts/77");
    ::unsetenv("ASTREL_COM10");

    line.failConfigure = true;
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(line.isOpen);
    line.failConfigure = false;
    line.failOpen = true;
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialTransport, ClosedPortRefusesEverythingButPurgeAndClose) {
    ASSERT_EQ(port.ClosePort(), 1);
    EXPECT_FALSE(line.isOpen);
    line.Queue("OK\r\n");
    char buffer[16] = "old";
    int32_t status = -1;
    EXPECT_EQ(port.ReceiveData(buffer, 16, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(port.SendData("Q"), 0);
    EXPECT_EQ(port.SendCommand("Q", 0), 0);
    EXPECT_EQ(port.ReadLine(buffer, 16), 0);
    EXPECT_EQ(port.DiscardInput(), 0);
    EXPECT_EQ(port.PurgeInput(), 1);
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_STREQ(buffer, "old");
    EXPECT_EQ(line.TakeWritten(), "");
    EXPECT_EQ(line.Ready(), 4u);
}

}  // namespace
}  // namespace astrel::test
