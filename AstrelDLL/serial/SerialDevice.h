// The narrow operating-system seam under the serial transport. The transport
// (CSerialCommunication) holds every rule about delimiters, time-outs and
// status codes; a SerialDevice only moves bytes and line state for one open
// device. Each operating system supplies one implementation; the unit tests
// supply an in-memory one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "serial/SerialSettings.h"
#include "serial/WakeSignal.h"

namespace astrel {

enum class WaitResult {
    kReadable,  // input is waiting (or the device has news: a read will tell)
    kTimedOut,  // nothing arrived within the wait
    kFailed,    // the device is gone or the wait itself failed
    kWoken,     // the wake signal was raised
};

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens the device at `path` exclusively for reading and writing.
    virtual bool Open(const std::string& path) = 0;
    // Closes the device; harmless when it is not open.
    virtual void Close() = 0;
    // Applies the line settings. Out-of-range codes keep the device's current value.
    virtual bool Configure(const SerialSettings& settings) = 0;
    // Waits until output already written has left the device, at most
    // `timeoutMs`; false when it has not (or the device cannot tell).
    virtual bool DrainOutput(uint32_t timeoutMs) = 0;
    // Drops what is queued for input and/or output.
    virtual bool Purge(bool input, bool output) = 0;
    // Whether a framing, parity, overrun or break error came in since the
    // last call, which clears it; false where the device cannot tell.
    virtual bool LineError() = 0;
    // Reads what is waiting, at most `size` bytes, without blocking.
    // Returns the count read, 0 when nothing is waiting, -1 when the device
    // failed or hung up. A count below `size` means nothing more was waiting.
    virtual int32_t Read(uint8_t* buffer, uint32_t size) = 0;
    // Writes up to `size` bytes, waiting at most `timeoutMs` for the device to
    // take them (0: take what fits now). Returns the count written (0 is a
    // stall), or -1 when the device failed.
    virtual int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) = 0;
    // Blocks until input is waiting, the device fails, `wake` (may be null)
    // is raised, or `timeoutMs` passes.
    virtual WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) = 0;
    // What the last Open did beyond opening, for the traffic trace (empty: nothing).
    virtual std::string OpenNote() const { return {}; }
};

// The millisecond tick counter and the pause that the transport and the
// drivers time themselves with. The counter is 32 bits wide and wraps.
class Clock {
  public:
    virtual uint32_t Ticks() = 0;
    // Pauses the calling thread for `ms`, or until `wake` (may be null) is raised.
    virtual void Sleep(uint32_t ms, const WakeSignal* wake) = 0;

  protected:
    // Not destroyed through this interface; a trivial destructor lets the
    // system clock outlive every port, even while the library unloads.
    ~Clock() = default;
};

// The operating system's device for `path`: a serial port, or a TCP
// connection to a network serial server for "socket://HOST:PORT", which its
// Open gives up making after `connectTimeoutMs`.
std::unique_ptr<SerialDevice> MakeSystemSerialDevice(std::string_view path,
                                                     uint32_t connectTimeoutMs);
// The operating system's clock, shared by every port object.
Clock& SystemClock();
// The device path of port index 0..9 (COM1..COM10).
std::string PortDevicePath(int32_t portIndex);

}  // namespace astrel
