// An in-memory serial device with its own millisecond clock, for unit tests.
// Input arrives on a timeline (bytes scheduled at tick values); waiting moves
// the clock forward instead of sleeping, so time-outs cost no real time.
// Everything written is recorded; a responder can answer each written line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/SerialDevice.h"

namespace astrel::test {

class FakeClock : public Clock {
  public:
    explicit FakeClock(uint32_t start = 0) : now_(start) {}
    uint32_t Ticks() override { return now_; }
    void Sleep(uint32_t ms, const WakeSignal* wake) override {
        if (wake != nullptr && wake->Raised()) return;
        now_ += ms;
        slept_ += ms;
    }
    uint32_t now_;
    uint64_t slept_ = 0;  // total of every Sleep
};

// State shared between a test and the device it handed to a port object (the
// port owns the device; the test keeps this).
struct FakeLine {
    explicit FakeLine(FakeClock& c) : clock(c) {}

    FakeClock& clock;
    // Input not yet read: each byte with the tick from which it is readable.
    std::deque<std::pair<uint32_t, uint8_t>> input;
    std::string written;  // every byte written, in order

    // Failure injection.
    int lineErrors = 0;  // the next this-many line-error checks report one
    // Results of the next writes: n > 0 takes at most n bytes, 0 stalls, -1 fails.
    std::deque<int32_t> writes;
    // The device is gone: reads, writes and waits fail.
    bool gone = false;

    // Called with each complete line written (without its CR/LF); may Queue a reply.
    std::function<void(const std::string&)> responder;
    // Called as each wait for input begins (a stop from another thread, say).
    std::function<void()> onWait;

    // Makes `bytes` readable `delayMs` after now.
    void Queue(const std::string& bytes, uint32_t delayMs = 0);
    // The bytes written since the last call, and forget them.
    std::string TakeWritten();
    // The lines written since the last call (split at CR/LF), and forget them.
    std::vector<std::string> TakeLines();
    // Bytes readable now.
    uint32_t Ready() const;

    std::string pendingLine;  // responder's partial line
    int reads = 0;            // a port that reads without end fails its test
};

class FakeSerialDevice : public SerialDevice {
  public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

    bool Open(const std::string& /*path*/) override { return true; }
    void Close() override {}
    bool Configure(const SerialSettings& /*settings*/) override { return true; }
    // Written bytes are taken at once: nothing is ever queued.
    bool DrainOutput(uint32_t /*timeoutMs*/) override { return true; }
    bool Purge(bool input, bool output) override;
    bool LineError() override;
    int32_t Read(uint8_t* buffer, uint32_t size) override;
    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override;
    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override;

  private:
    std::shared_ptr<FakeLine> line_;
};

// A port object wired to a fresh fake line: `Attach(port)` gives the port the
// device and the clock. The clock starts close to the 32-bit wrap so that
// every test also crosses it.
struct FakeRig {
    FakeClock clock{0xFFFFF000u};
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>(clock);

    template <typename Port>
    void Attach(Port& port) {
        port.UseDevice(std::make_unique<FakeSerialDevice>(line));
        port.UseClock(clock);
    }
    // Attaches a maker's `driver`, selects `model` (none when null) and opens
    // the port with the maker's delimiter: OpenPort's result, or 0 when the
    // driver does not know the model.
    template <typename Driver>
    int32_t Open(Driver& driver, const char* model) {
        Attach(driver);
        if (model != nullptr) {
            driver.SetStageName(model);
            if (driver.SelectStage() == 0) return 0;
        }
        driver.settings.delimiter = driver.GetDefaultDelimiter();
        return driver.OpenPort();
    }
};

}  // namespace astrel::test
