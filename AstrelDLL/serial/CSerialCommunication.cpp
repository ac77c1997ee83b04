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
    : device_(astrel::MakeSystemSerialDevice({})), clock_(&astrel::SystemClock()) {}

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
    if (!Interrupted()) clock_->Sleep(ms);
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

int32_t CSerialCommunication::OpenPort() {
    if (open_) ClosePort();
    if (chosenDevice.empty() && (settings.port < 0 || settings.port >= astrel::kPortCount)) {
        astrel::NoteBadArgument("the port index is not 0 to 9");
        return 0;
    }
    path_ = chosenDevice.empty() ? astrel::PortDevicePath(settings.port) : chosenDevice;
    trace_ = astrel::Trace::FromEnvironment();
    // The path says which kind of device it is: a serial port or a network serial server.
    if (systemDevice_) device_ = astrel::MakeSystemSerialDevice(path_);
    if (!device_->Open(path_)) {
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

CSerialCommunication::Next CSerialCommunication::Poll(uint8_t& byte, bool failOnLineError) {
    if (Interrupted()) return Next::kFailed;
    if (keptBegin_ == keptEnd_) {
        astrel::PortState state;
        if (!device_->Query(state)) return Next::kFailed;
        if (failOnLineError && state.lineError) return Next::kFailed;
        if (state.bytesWaiting == 0) return Next::kNothing;
        const int32_t n = device_->Read(kept_, kKeptSize);
        if (n < 0) return Next::kFailed;
        if (n == 0) return Next::kNothing;
        keptBegin_ = 0;
        keptEnd_ = std::min(static_cast<uint32_t>(n), kKeptSize);
    }
    byte = kept_[keptBegin_++];
    return Next::kByte;
}

bool CSerialCommunication::QueryWaiting(astrel::PortState& state) {
    state = {};
    if (!device_->Query(state)) return false;
    state.bytesWaiting += keptEnd_ - keptBegin_;
    return true;
}

bool CSerialCommunication::AwaitInput(uint32_t remainingMs) {
    const astrel::WaitResult result = device_->WaitReadable(remainingMs, wake_);
    return result == astrel::WaitResult::kReadable || result == astrel::WaitResult::kTimedOut;
}

CSerialCommunication::Wait CSerialCommunication::GoOn(uint32_t start, uint32_t timeoutMs,
                                                      Next last) {
    const uint32_t remaining = RemainingMs(start, timeoutMs);
    if (remaining == 0) return Wait::kTimedOut;
    return last == Next::kByte || AwaitInput(remaining) ? Wait::kGoOn : Wait::kFailed;
}

void CSerialCommunication::NoteWaitEnded(bool timedOut, uint32_t timeoutMs,
                                         std::string_view partial) {
    if (Interrupted()) {
        astrel::NoteInterrupted();
        TraceLine("<-", partial, "wait interrupted by a stop");
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

void CSerialCommunication::NoteWriteEnded(std::string_view out) {
    if (Interrupted()) {
        astrel::NoteInterrupted();
        TraceLine("->", out, "write interrupted by a stop");
    } else {
        astrel::NoteWriteFailed();
        TraceLine("->", out, "write failed");
    }
}

void CSerialCommunication::TracePurge() {
    std::string dropped(reinterpret_cast<const char*>(kept_ + keptBegin_), keptEnd_ - keptBegin_);
    astrel::PortState state;
    while (device_->Query(state) && state.bytesWaiting > 0) {
        const int32_t n = device_->Read(kept_, kKeptSize);
        if (n <= 0) break;
        dropped.append(reinterpret_cast<const char*>(kept_), static_cast<size_t>(n));
    }
    if (!dropped.empty()) TraceLine("--", dropped, "purged");
}

bool CSerialCommunication::WriteAll(const uint8_t* data, size_t size, int& stalls,
                                    bool checkLineErrors) {
    // A write waits at most half the reply time-out for the device to take bytes.
    const uint32_t writeTimeoutMs = TimeOutMs() / 2;
    while (size > 0) {
        if (Interrupted()) return false;  // a stop goes out instead of the rest
        if (checkLineErrors) {
            astrel::PortState state;
            if (!QueryWaiting(state) || state.lineError) return false;
        }
        // A device call takes at most 2 GiB - 1 (its count is an int32_t); the
        // rest goes in later calls.
        const auto chunk = static_cast<uint32_t>(std::min<size_t>(size, INT32_MAX));
        const int32_t written = device_->Write(data, chunk, writeTimeoutMs);
        if (written < 0) return false;
        if (written == 0 && ++stalls >= 2) return false;
        const auto taken = std::min(static_cast<uint32_t>(written), chunk);
        data += taken;
        size -= taken;
    }
    return true;
}

int32_t CSerialCommunication::SendData(const char* text) {
    if (!CanSend(text)) return 0;
    const std::string_view delimiter = DelimiterBytes(settings.delimiter);
    if (delimiter.empty()) {
        astrel::NoteBadArgument("the line delimiter code is not 0, 1 or 2");
        return 0;
    }
    try {
        std::string out(text);
        out += delimiter;
        int stalls = 0;
        if (WriteAll(reinterpret_cast<const uint8_t*>(out.data()), out.size(), stalls, false)) {
            TraceLine("->", out);
            return 1;
        }
        NoteWriteEnded(out);
        return 0;
    } catch (const std::bad_alloc&) {
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
            const uint32_t remaining = RemainingMs(start, timeoutMs);
            if (remaining == 0) {
                NoteWaitEnded(true, timeoutMs, reply_);
                StoreStatus(status, 1);
                return 0;
            }
            uint8_t byte = 0;
            const Next next = Poll(byte, false);  // line errors are cleared and reading goes on
            if (next == Next::kFailed || (next == Next::kNothing && !AwaitInput(remaining))) {
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
        StoreStatus(status, 0);
        return 0;
    }
    // Bytes already read past the delimiter count as waiting input.
    astrel::PortState state;
    const int32_t finalStatus = !QueryWaiting(state) ? 0 : state.bytesWaiting > 0 ? 2 : 1;
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
    astrel::NoteSent(text);
    if (!Interrupted()) return true;
    astrel::NoteInterrupted();
    return false;
}

int32_t CSerialCommunication::SendCommand(const char* text, int32_t discardFirst) {
    if (!CanSend(text)) return 0;
    if (discardFirst != 0 && DiscardInput() == 0) return 0;
    int stalls = 0;  // counted over the text and the delimiter together
    const std::string_view delimiter = DelimiterBytes(settings.delimiter);
    // An unknown delimiter code writes the text alone.
    const bool written =
        WriteAll(reinterpret_cast<const uint8_t*>(text), std::strlen(text), stalls, true) &&
        WriteAll(reinterpret_cast<const uint8_t*>(delimiter.data()), delimiter.size(), stalls,
                 true);
    // The line as written, for the trace only.
    const std::string out =
        trace_ != nullptr ? std::string(text) + std::string(delimiter) : std::string();
    if (!written) {
        NoteWriteEnded(out);
        return 0;
    }
    TraceLine("->", out);
    return 1;
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
        uint8_t byte = 0;
        const Next next = Poll(byte, true);
        if (next == Next::kFailed) {
            NoteWaitEnded(false, timeoutMs, std::string_view(buffer, length));
            return 0;
        }
        if (next == Next::kByte) {
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
        // The whole call has one time-out from its start, so a device that
        // streams bytes without ending a line cannot hold it longer.
        if (const Wait wait = GoOn(start, timeoutMs, next); wait != Wait::kGoOn) {
            NoteWaitEnded(wait == Wait::kTimedOut, timeoutMs, std::string_view(buffer, length));
            return 0;
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
        uint8_t byte = 0;
        const Next next = Poll(byte, true);
        if (next == Next::kFailed) {
            NoteWaitEnded(false, timeoutMs);
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
        // Complete lines are dropped and a half-received line is waited out,
        // all within one time-out from the call's start: a controller that
        // never falls quiet cannot hold the call longer.
        if (const Wait wait = GoOn(start, timeoutMs, next); wait != Wait::kGoOn) {
            NoteWaitEnded(wait == Wait::kTimedOut, timeoutMs);
            return 0;
        }
    }
}
