// One RS-232 port and the byte-level exchange that the stage drivers build on:
// open and close, drop pending input, write a command with the configured line
// delimiter, read one reply up to the delimiter within the time-out, and the
// line-oriented write, read and drain trio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
    // OpenPort in two halves, for an owner that runs the device's own open
    // (a network connection may take seconds) without holding what other
    // threads' calls on this port wait for. BeginOpen closes the port and
    // gives the device the settings name, not yet open (null, the reason
    // noted, when they name none); the device opens DevicePath(). FinishOpen
    // takes it back once its Open gave `opened`, and ends as OpenPort does.
    std::unique_ptr<astrel::SerialDevice> BeginOpen();
    int32_t FinishOpen(std::unique_ptr<astrel::SerialDevice> device, bool opened);
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
    // A stop's line: drops the input waiting (a half line included) at once
    // and writes `text` and the delimiter whatever the line reported, so that
    // no noise on the line holds a stop back. 1 when all of it was written.
    int32_t SendStopCommand(const char* text);
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
    // Pauses the calling thread on the port's clock, as long as no stop
    // (or close, or release) from another thread cuts the pause short.
    void Pause(uint32_t ms);
    // The port's millisecond tick counter.
    uint32_t Now();
    // The reply time-out in milliseconds (a negative setting counts as 0).
    uint32_t TimeOutMs() const;
    // How long an open waits for a network serial server to accept the
    // connection: the reply time-out, at least 3 s.
    uint32_t ConnectTimeOutMs() const;
    // Milliseconds left before a wait that began at `start` times out (0: timed out).
    uint32_t RemainingMs(uint32_t start, uint32_t timeoutMs);

  private:
    enum class Next { kByte, kNothing, kTimedOut, kFailed };

    // The next input byte for a call that began at `start` with a time-out
    // of `timeoutMs`; kFailed once interrupted. It comes from the kept
    // buffer. When that is empty: kTimedOut once the time-out has passed;
    // else, with `wait`, a wait for input of at most the time left, then one
    // read of whatever the device has waiting, without asking it first how
    // much (kNothing when it had nothing). With `failOnLineError` a line error
    // reported since the last look gives kFailed and nothing is read; without
    // it line errors are not looked at. The clock is read only when the kept
    // buffer is empty: bytes already read cost no time check each.
    Next NextByte(uint8_t& byte, uint32_t start, uint32_t timeoutMs, bool wait,
                  bool failOnLineError);
    // Blocks until input may be waiting or `remainingMs` has passed; false
    // when the device failed or the wait was interrupted.
    bool AwaitInput(uint32_t remainingMs);
    // After a reply: 2 when more input is waiting (kept, or left behind by a
    // read that filled the kept buffer), 1 when not, 0 when the device failed.
    int32_t MoreInputStatus();
    // Reads what the device holds into the emptied kept buffer: the device's
    // count (below 0 a failure, 0 nothing); the kept buffer holds what came.
    int32_t ReadKept();
    // Writes `text` and `delimiter` in one piece: false at a failure or at
    // the second stall; with `checkLineErrors`, also when the line reported an
    // error before a write. Notes and traces the outcome.
    bool WriteLine(const char* text, std::string_view delimiter, bool checkLineErrors);
    // Writes `text` and the configured delimiter (the text alone for an
    // unknown delimiter code) for SendCommand and SendStopCommand: 1 or 0.
    int32_t WriteCommand(const char* text, bool checkLineErrors);
    void DropKeptInput() { keptBegin_ = keptEnd_ = 0; }
    // Notes why a wait for input ended without what it waited for: the
    // time-out when `timedOut`, else an interruption or a failed line; the
    // trace shows the bytes of the reply so far.
    void NoteWaitEnded(bool timedOut, uint32_t timeoutMs, std::string_view partial = {});
    // Traces the input a purge drops: reads it first, so the trace can show it.
    void TracePurge();
    // Whether `text` may be written now: the port is open, the text not
    // empty, no stop interrupts; notes why not.
    bool CanSend(const char* text);
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
    bool keptFull_ = false;  // the last read filled the kept buffer: more may be waiting

    // Scratch for the reply being read, kept between calls so that a reply
    // costs no allocation once the first has been read.
    std::string reply_;
};
