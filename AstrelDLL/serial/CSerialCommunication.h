// One RS-232 port and the byte-level exchange that the stage drivers build on:
// open and close, drop pending input, write a command with the configured line
// delimiter, read one reply up to the delimiter within the time-out, and the
// line-oriented write, read and drain trio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "diag/Trace.h"
#include "serial/SerialDevice.h"
#include "serial/SerialSettings.h"

class CSerialCommunication {
  public:
    CSerialCommunication();
    virtual ~CSerialCommunication();

    CSerialCommunication(const CSerialCommunication&) = delete;
    CSerialCommunication& operator=(const CSerialCommunication&) = delete;

    // Replaced whole by the owner before OpenPort; read only by OpenPort.
    SerialSettings settings;
    // The device OpenPort opens in place of the one the port index names
    // (empty: the port index's, and then the index must be valid). Set by
    // the owner before OpenPort.
    std::string chosenDevice;

    // 1 when the port is open with every setting applied; otherwise 0 and closed.
    int32_t OpenPort();
    // Closes the port if open. Always 1.
    int32_t ClosePort();
    // Drops input that has arrived but not been read. Always 1.
    int32_t PurgeInput();
    // Writes `text` and the delimiter. 1 when all of it was written.
    int32_t SendData(const char* text);
    // Reads one reply up to the delimiter. 1 when a delimiter was read. The
    // reply is copied to `buffer` only when it holds 1 to size-1 bytes.
    // `status` (may be null): see the status table in the implementation.
    int32_t ReceiveData(char* buffer, int32_t size, int32_t* status);
    // Writes `text` and the delimiter, after draining the input when asked.
    int32_t SendCommand(const char* text, int32_t discardFirst);
    // Reads one CR/LF-terminated line, skipping leading CR/LF bytes, within
    // one time-out from the call's start.
    int32_t ReadLine(char* buffer, int32_t size);
    // Drops every complete line waiting and waits out a half-received one;
    // 1 once the input is quiet between lines, 0 when that does not happen
    // within one time-out from the call's start.
    int32_t DiscardInput();

    bool IsOpen() const { return open_; }
    // The device path of the last OpenPort (empty before the first).
    const std::string& DevicePath() const { return path_; }
    // The handle the traffic trace names this port by (ASTREL_TRACE, read at OpenPort).
    void SetTraceHandle(int32_t handle) { traceHandle_ = handle; }

    // The signal a stop from another thread raises to cut this port's present
    // call short (null: none). While it is raised every read and write fails
    // at once, so the interrupted call neither waits on nor resends; the
    // owner clears it before the next call begins. It must outlive the port.
    void UseWakeSignal(const astrel::WakeSignal* wake) { wake_ = wake; }
    bool Interrupted() const { return wake_ != nullptr && wake_->Raised(); }

    // Elapsed milliseconds from `start` to `now` across the counter's wrap.
    static uint32_t ElapsedTicks(uint32_t start, uint32_t now) { return now - start; }

    // Swap in another device or clock (the in-memory device of the tests).
    // The port must be closed; the clock must outlive this object.
    void UseDevice(std::unique_ptr<astrel::SerialDevice> device);
    void UseClock(astrel::Clock& clock);

  protected:
    // Pauses the calling thread, on the port's clock; not at all once interrupted.
    void Pause(uint32_t ms);
    // The port's millisecond tick counter.
    uint32_t Now();
    // The reply time-out in milliseconds (a negative setting counts as 0).
    uint32_t TimeOutMs() const;
    // Milliseconds left before a wait that began at `start` times out (0: timed out).
    uint32_t RemainingMs(uint32_t start, uint32_t timeoutMs);

  private:
    enum class Next { kByte, kNothing, kFailed };

    // One look at the input, never blocking; kFailed once interrupted. The next byte comes from the
    // kept buffer; when that is empty the device is queried (which clears its line-error flags) and
    // whatever it has waiting is read in one call. With `failOnLineError` a reported line error
    // gives kFailed and nothing is read; without it line errors are ignored.
    Next Poll(uint8_t& byte, bool failOnLineError);
    // Bytes waiting: the kept buffer plus the device's queue; false when the query failed.
    bool QueryWaiting(astrel::PortState& state);
    // Blocks until input may be waiting or `remainingMs` has passed; false
    // when the device failed or the wait was interrupted.
    bool AwaitInput(uint32_t remainingMs);
    enum class Wait { kGoOn, kTimedOut, kFailed };
    // Whether a wait that began at `start` goes on after a Poll that gave
    // `last`: kTimedOut once the time-out has passed; when nothing was
    // waiting, blocks until input may be waiting (kFailed when the device
    // failed or the wait was interrupted).
    Wait GoOn(uint32_t start, uint32_t timeoutMs, Next last);
    // Writes all of `data`; false at a failure or at the second stall counted in `stalls`.
    bool WriteAll(const uint8_t* data, size_t size, int& stalls, bool checkLineErrors);
    void DropKeptInput() { keptBegin_ = keptEnd_ = 0; }
    // Notes why a wait for input ended without what it waited for: the
    // time-out when `timedOut`, else an interruption or a failed line; the
    // trace shows the bytes of the reply so far.
    void NoteWaitEnded(bool timedOut, uint32_t timeoutMs, std::string_view partial = {});
    // Traces the input a purge drops: reads it first, so the trace can show it.
    void TracePurge();
    // Whether `text` may be written now: the port is open, the text not
    // empty, no stop interrupts; notes the text as sent, or why not.
    bool CanSend(const char* text);
    // Notes why writing `out` failed: an interruption or the device.
    void NoteWriteEnded(std::string_view out);
    // One line of the traffic trace, when it is on (`direction`: see Trace::Line).
    void TraceLine(const char* direction, std::string_view bytes, std::string_view note = {}) {
        if (trace_ != nullptr) trace_->Line(traceHandle_, path_, direction, bytes, note);
    }

    std::unique_ptr<astrel::SerialDevice> device_;
    bool systemDevice_ = true;  // made for each open's path; false once a device is swapped in
    astrel::Clock* clock_;
    const astrel::WakeSignal* wake_ = nullptr;
    bool open_ = false;
    std::string path_;
    std::unique_ptr<astrel::Trace> trace_;  // null: tracing off
    int32_t traceHandle_ = -1;

    // Input read from the device but not yet consumed. Counts as waiting
    // input and every purge drops it.
    static constexpr uint32_t kKeptSize = 256;
    uint8_t kept_[kKeptSize] = {};
    uint32_t keptBegin_ = 0;
    uint32_t keptEnd_ = 0;

    // Scratch for the reply being read, kept between calls so that a reply
    // costs no allocation once the first has been read.
    std::string reply_;
};
