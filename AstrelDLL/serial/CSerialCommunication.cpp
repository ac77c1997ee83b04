#include "serial/CSerialCommunication.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "diag/LastError.h"

namespace {

constexpr uint8_t kCr = 0x0D;
// The longest a close waits for written output to leave the port.
constexpr uint32_t kMaxCloseDrainMs = 2000;
// The most reads a traced purge makes to show what it drops.
constexpr int kPurgeTraceReads = 64;
// The least an open waits for a network serial server to accept the connection.
constexpr uint32_t kMinConnectMs = 3000;
constexpr uint8_t kLf = 0x0A;

bool IsLineEnd(uint8_t byte) {
    return byte == kCr || byte == kLf;
}

// The bytes written after each command for a delimiter code; empty for an
// unknown code.
std::string_view DelimiterBytes(int32_t code) {
    switch (code) {
        case astrel::kDelimiterCrLf:
            return "\r\n";
        case astrel::kDelimiterCr:
            return "\r";
        case astrel::kDelimiterLf:
            return "\n";
        default:
            return {};
    }
}

void StoreStatus(int32_t* status, int32_t value) {
    if (status != nullptr) *status = value;
}

}  // namespace

CSerialCommunication::CSerialCommunication()
    : device_(astrel::MakeSystemSerialDevice({}, 0)), clock_(&astrel::SystemClock()) {}

CSerialCommunication::~CSerialCommunication() {
    ClosePort();
}

void CSerialCommunication::UseDevice(std::unique_ptr<astrel::SerialDevice> device) {
    ClosePort();
    device_ = std::move(device);
    systemDevice_ = false;
}

void CSerialCommunication::UseClock(astrel::Clock& clock) {
    clock_ = &clock;
}

void CSerialCommunication::Pause(uint32_t ms) {
    clock_->Sleep(ms, wake_);
}

uint32_t CSerialCommunication::Now() {
    return clock_->Ticks();
}

uint32_t CSerialCommunication::TimeOutMs() const {
    return settings.timeOut > 0 ? static_cast<uint32_t>(settings.timeOut) : 0;
}

uint32_t CSerialCommunication::RemainingMs(uint32_t start, uint32_t timeoutMs) {
    // Timed out only once the elapsed time is greater than the time-out.
    const uint32_t elapsed = ElapsedTicks(start, clock_->Ticks());
    if (elapsed > timeoutMs) return 0;
    return timeoutMs - elapsed + 1;
}

uint32_t CSerialCommunication::ConnectTimeOutMs() const {
    return std::max(TimeOutMs(), kMinConnectMs);
}

int32_t CSerialCommunication::OpenPort() {
    std::unique_ptr<astrel::SerialDevice> device = BeginOpen();
    if (device == nullptr) return 0;
    const bool opened = device->Open(path_);
    return FinishOpen(std::move(device), opened);
}

std::unique_ptr<astrel::SerialDevice> CSerialCommunication::BeginOpen() {
    if (open_) ClosePort();
    if (chosenDevice.empty() && (settings.port < 0 || settings.port >= astrel::kPortCount)) {
        astrel::NoteBadArgument("the port index is not 0 to 9");
        return nullptr;
    }
    path_ = chosenDevice.empty() ? astrel::PortDevicePath(settings.port) : chosenDevice;
    trace_ = astrel::Trace::FromEnvironment();
    // The path says which kind of device it is: a serial port or a network serial server.
    if (systemDevice_) device_ = astrel::MakeSystemSerialDevice(path_, ConnectTimeOutMs());
    return std::move(device_);
}

int32_t CSerialCommunication::FinishOpen(std::unique_ptr<astrel::SerialDevice> device,
                                         bool opened) {
    device_ = std::move(device);
    if (!opened) {
        // The system's device notes its reason; another device gets a plain one.
        if (!astrel::FailureNoted()) astrel::NoteOpenFailed("the device refused");
        TraceLine("--", {}, "open failed");
        return 0;
    }
    open_ = true;
    device_->Purge(true, true);
    DropKeptInput();
    if (!device_->Configure(settings)) {
        ClosePort();
        astrel::NoteOpenFailed("the device refused the line settings");
        TraceLine("--", {}, "the device refused the line settings");
        return 0;
    }
    TraceLine("--", {}, "opened");
    if (trace_ != nullptr) {
        if (const std::string note = device_->OpenNote(); !note.empty()) TraceLine("--", {}, note);
    }
    return 1;
}

int32_t CSerialCommunication::ClosePort() {
    if (open_) {
        // A command written just before closing (a stop, typically) still
        // goes out: wait for it, at most the write time-out and never more
        // than kMaxCloseDrainMs. Only output that did not leave in that time
        // is dropped, so closing cannot hang on it.
        const bool drained = device_->DrainOutput(std::min(TimeOutMs() / 2, kMaxCloseDrainMs));
        device_->Purge(true, !drained);
        device_->Close();
    }
    open_ = false;
    DropKeptInput();
    return 1;
}

int32_t CSerialCommunication::PurgeInput() {
    if (open_) {
        if (trace_ != nullptr) TracePurge();
        device_->Purge(true, false);
        DropKeptInput();
    }
    return 1;
}

CSerialCommunication::Next CSerialCommunication::NextByte(uint8_t& byte, uint32_t start,
                                                          uint32_t timeoutMs, bool wait,
                                                          bool failOnLineError) {
    if (Interrupted()) return Next::kFailed;
    if (keptBegin_ == keptEnd_) {
        const uint32_t remaining = RemainingMs(start, timeoutMs);
        if (remaining == 0) return Next::kTimedOut;
        // Waiting first costs nothing when input is there already (the wait
        // returns at once) and saves a read that would find nothing.
        if (wait && !AwaitInput(remaining)) return Next::kFailed;
        if (failOnLineError && device_->LineError()) return Next::kFailed;
        const int32_t n = ReadKept();
        if (n < 0) return Next::kFailed;
        if (n == 0) return Next::kNothing;
    }
    byte = kept_[keptBegin_++];
    return Next::kByte;
}

bool CSerialCommunication::AwaitInput(uint32_t remainingMs) {
    const astrel::WaitResult result = device_->WaitReadable(remainingMs, wake_);
    return result == astrel::WaitResult::kReadable || result == astrel::WaitResult::kTimedOut;
}

int32_t CSerialCommunication::MoreInputStatus() {
    if (keptBegin_ != keptEnd_) return 2;
    if (!keptFull_) return 1;  // the last read took everything that was waiting
    // The last read filled the buffer, so more may wait: look once, keeping what comes.
    const int32_t n = ReadKept();
    return n < 0 ? 0 : n > 0 ? 2 : 1;
}

int32_t CSerialCommunication::ReadKept() {
    const int32_t n = device_->Read(kept_, kKeptSize);
    keptBegin_ = 0;
    keptEnd_ = n > 0 ? std::min(static_cast<uint32_t>(n), kKeptSize) : 0;
    keptFull_ = keptEnd_ == kKeptSize;
    return n;
}

void CSerialCommunication::NoteWaitEnded(bool timedOut, uint32_t timeoutMs,
                                         std::string_view partial) {
    if (Interrupted()) {
        astrel::NoteInterrupted();
        TraceLine("<-", partial, "wait interrupted by another thread");
    } else if (timedOut) {
        astrel::NoteNoReply(timeoutMs);
        if (trace_ != nullptr) {
            TraceLine("<-", partial,
                      "time-out: no reply within " + std::to_string(timeoutMs) + " ms");
        }
    } else {
        astrel::NoteHangUp();
        TraceLine("<-", partial, "the line closed or failed");
    }
}

void CSerialCommunication::TracePurge() {
    std::string dropped(reinterpret_cast<const char*>(kept_ + keptBegin_), keptEnd_ - keptBegin_);
    // What is waiting now, read a bounded number of times: a device that
    // never falls quiet cannot keep a purge reading.
    for (int reads = 0; reads < kPurgeTraceReads; ++reads) {
        const int32_t n = device_->Read(kept_, kKeptSize);
        if (n <= 0) break;
        dropped.append(reinterpret_cast<const char*>(kept_), static_cast<size_t>(n));
    }
    if (!dropped.empty()) TraceLine("--", dropped, "purged");
}

bool CSerialCommunication::WriteLine(const char* text, std::string_view delimiter,
                                     bool checkLineErrors) {
    std::string out(text);
    out += delimiter;
    // A write waits at most half the reply time-out for the device to take bytes.
    const uint32_t writeTimeoutMs = TimeOutMs() / 2;
    const auto* data = reinterpret_cast<const uint8_t*>(out.data());
    size_t left = out.size();
    int stalls = 0;
    while (left > 0) {
        // A stop goes out instead of the rest; a reported line error fails the command.
        if (Interrupted() || (checkLineErrors && device_->LineError())) break;
        // A device call takes at most 2 GiB - 1 (its count is an int32_t); the
        // rest goes in later calls.
        const auto chunk = static_cast<uint32_t>(std::min<size_t>(left, INT32_MAX));
        const int32_t n = device_->Write(data, chunk, writeTimeoutMs);
        if (n < 0 || (n == 0 && ++stalls >= 2)) break;
        const auto taken = std::min(static_cast<uint32_t>(n), chunk);
        data += taken;
        left -= taken;
    }
    // A command cut short before any of it went out is not quoted as sent.
    const bool interrupted = Interrupted();
    if (left < out.size() || !interrupted) astrel::NoteSent(text);
    if (left == 0) {
        TraceLine("->", out);
        return true;
    }
    if (interrupted) {
        astrel::NoteInterrupted();
        TraceLine("->", out, "write interrupted by another thread");
    } else {
        astrel::NoteWriteFailed();
        TraceLine("->", out, "write failed");
    }
    return false;
}

int32_t CSerialCommunication::SendData(const char* text) {
    if (!CanSend(text)) return 0;
    const std::string_view delimiter = DelimiterBytes(settings.delimiter);
    if (delimiter.empty()) {
        astrel::NoteBadArgument("the line delimiter code is not 0, 1 or 2");
        return 0;
    }
    try {
        return WriteLine(text, delimiter, false) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        astrel::NoteOutOfMemory();
        return 0;
    }
}

// Result and status of ReceiveData:
//   0/0 port closed, null buffer, size below 1, or no memory
//   0/1 no complete reply within the time-out, counted from the call's start
//   0/1 also when a stop from another thread interrupted the read
//   0/2 the device failed while reading
//   1/1 a reply was read and nothing more is waiting
//   1/2 a reply was read and more input is already waiting
//   1/0 a reply was read but the final port query failed
// The reply reaches `buffer` only when it has 1 to size-1 bytes; a bare
// delimiter or an overlong reply leaves the buffer as it was.
int32_t CSerialCommunication::ReceiveData(char* buffer, int32_t size, int32_t* status) {
    if (!open_ || buffer == nullptr || size < 1) {
        if (!open_) {
            astrel::NoteNotOpen();
        } else {
            astrel::NoteBadArgument("the buffer is null or its size below 1");
        }
        StoreStatus(status, 0);
        return 0;
    }
    const auto capacity = static_cast<uint64_t>(size) - 1;  // reply bytes that fit
    uint64_t length = 0;
    bool crDropped = false;
    const uint32_t timeoutMs = TimeOutMs();
    const uint32_t start = clock_->Ticks();
    try {
        reply_.clear();
        for (;;) {
            uint8_t byte = 0;
            // Line errors do not matter to a reply read this way.
            const Next next = NextByte(byte, start, timeoutMs, true, false);
            if (next == Next::kTimedOut) {
                NoteWaitEnded(true, timeoutMs, reply_);
                StoreStatus(status, 1);
                return 0;
            }
            if (next == Next::kFailed) {
                NoteWaitEnded(false, timeoutMs, reply_);
                StoreStatus(status, Interrupted() ? 1 : 2);
                return 0;
            }
            if (next != Next::kByte) continue;
            bool ends = false;
            switch (settings.delimiter) {
                case astrel::kDelimiterCrLf:
                    // The first CR is dropped; after it the first LF ends the reply.
                    if (!crDropped && byte == kCr) {
                        crDropped = true;
                        continue;
                    }
                    ends = crDropped && byte == kLf;
                    break;
                case astrel::kDelimiterCr:
                    ends = IsLineEnd(byte);
                    break;
                case astrel::kDelimiterLf:
                    ends = byte == kLf;
                    break;
                default:
                    continue;  // nothing ends a reply: every byte is dropped
            }
            if (ends) break;
            ++length;
            if (length <= capacity) reply_ += static_cast<char>(byte);
        }
    } catch (const std::bad_alloc&) {
        astrel::NoteOutOfMemory();
        StoreStatus(status, 0);
        return 0;
    }
    // Bytes already read past the delimiter count as waiting input.
    const int32_t finalStatus = MoreInputStatus();
    astrel::NoteReply(reply_);
    TraceLine("<-", reply_, length > capacity ? "longer than the buffer: not copied" : "");
    if (length >= 1 && length <= capacity) {
        std::memcpy(buffer, reply_.data(), reply_.size());
        buffer[reply_.size()] = '\0';
    }
    StoreStatus(status, finalStatus);
    return 1;
}

bool CSerialCommunication::CanSend(const char* text) {
    if (!open_) {
        astrel::NoteNotOpen();
        return false;
    }
    if (text == nullptr || *text == '\0') {
        astrel::NoteBadArgument("the text is null or empty");
        return false;
    }
    if (!Interrupted()) return true;
    astrel::NoteInterrupted();
    return false;
}

int32_t CSerialCommunication::SendCommand(const char* text, int32_t discardFirst) {
    if (!CanSend(text)) return 0;
    if (discardFirst != 0 && DiscardInput() == 0) return 0;
    return WriteCommand(text, true);
}

int32_t CSerialCommunication::SendStopCommand(const char* text) {
    if (!CanSend(text)) return 0;
    // The line errors seen so far are cleared with the input: they came
    // before the stop.
    device_->LineError();
    PurgeInput();
    return WriteCommand(text, false);
}

int32_t CSerialCommunication::WriteCommand(const char* text, bool checkLineErrors) {
    // An unknown delimiter code writes the text alone.
    try {
        return WriteLine(text, DelimiterBytes(settings.delimiter), checkLineErrors) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        astrel::NoteOutOfMemory();
        return 0;
    }
}

int32_t CSerialCommunication::ReadLine(char* buffer, int32_t size) {
    if (!open_ || buffer == nullptr || size < 1) {
        if (!open_) astrel::NoteNotOpen();
        return 0;
    }
    const uint32_t timeoutMs = TimeOutMs();
    const uint32_t start = clock_->Ticks();
    const auto capacity = static_cast<uint32_t>(size) - 1;  // text bytes that fit
    uint32_t length = 0;
    for (;;) {
        // The whole call has one time-out from its start, so a device that
        // streams bytes without ending a line cannot hold it longer.
        uint8_t byte = 0;
        const Next next = NextByte(byte, start, timeoutMs, true, true);
        if (next == Next::kTimedOut || next == Next::kFailed) {
            NoteWaitEnded(next == Next::kTimedOut, timeoutMs, std::string_view(buffer, length));
            return 0;
        }
        if (next != Next::kByte) continue;
        if (IsLineEnd(byte) && length > 0) {
            buffer[length] = '\0';
            astrel::NoteReply(std::string_view(buffer, length));
            TraceLine("<-", std::string_view(buffer, length));
            return 1;
        }
        // Line ends before any text are skipped.
        if (!IsLineEnd(byte)) {
            if (byte == 0 || length >= capacity) {
                astrel::NoteUnusableReply(std::string_view(buffer, length));
                return 0;
            }
            buffer[length++] = static_cast<char>(byte);
        }
    }
}

int32_t CSerialCommunication::DiscardInput() {
    if (!open_) {
        astrel::NoteNotOpen();
        return 0;
    }
    const uint32_t timeoutMs = TimeOutMs();
    const uint32_t start = clock_->Ticks();
    bool atBoundary = true;
    std::string dropped;  // for the trace only
    for (;;) {
        // Complete lines are dropped and a half-received line is waited out,
        // all within one time-out from the call's start: a controller that
        // never falls quiet cannot hold the call longer.
        uint8_t byte = 0;
        // Between lines the input is only looked at; within one, waited for.
        const Next next = NextByte(byte, start, timeoutMs, !atBoundary, true);
        if (next == Next::kTimedOut || next == Next::kFailed) {
            NoteWaitEnded(next == Next::kTimedOut, timeoutMs);
            return 0;
        }
        const bool got = next == Next::kByte;
        if (!got && atBoundary) {  // quiet between lines
            if (!dropped.empty()) TraceLine("--", dropped, "discarded");
            return 1;
        }
        if (got && trace_ != nullptr) dropped += static_cast<char>(byte);
        // A line end returns to the boundary; any other byte is (still) a line in progress.
        if (got) atBoundary = IsLineEnd(byte);
    }
}
