// The serial seam on Windows: a COM device opened without sharing, line
// state through the DCB, ClearCommError for the line errors and the output
// still queued. Reads normally return at once with what is buffered; to wait for
// input the device switches to read time-outs that return at the first byte,
// so the thread sleeps in the system until a byte comes or the wait is over.
// That byte is held and handed out by the next Read. Every transfer is
// overlapped, so that the wait for that first byte also watches the wake
// signal's event and a stop from another thread ends it at once.
#include <windows.h>

#include <algorithm>
#include <string>
#include <type_traits>

#include "diag/LastError.h"
#include "serial/OutputDrain.h"
#include "serial/SerialDevice.h"
#include "serial/SerialDeviceTcp.h"
#include "serial/SerialDeviceWin32Dcb.h"
#include "serial/SerialDeviceWin32Wait.h"

namespace astrel {
namespace {

class Win32SerialDevice : public SerialDevice {
  public:
    Win32SerialDevice() : io_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Win32SerialDevice() override {
        Close();
        if (io_ != nullptr) ::CloseHandle(io_);
    }

    bool Open(const std::string& path) override {
        Close();
        if (path.empty() || io_ == nullptr) return false;
        // No sharing: nobody else opens the port while this object holds it.
        const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            NoteOpenFailed(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                               ? "no such device"
                           : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                               ? "busy or permission denied"
                               : "the system refused to open it");
            return false;
        }
        handle_ = handle;
        timeouts_ = {};
        return true;
    }

    void Close() override {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        held_ = false;
        lineErrors_ = 0;
    }

    bool Configure(const SerialSettings& settings) override {
        // A write gives up after half the reply time-out and reports what it wrote.
        const uint32_t timeOut = settings.timeOut > 0 ? static_cast<uint32_t>(settings.timeOut) : 0;
        if (!SetTimeouts(kNoWait, timeOut / 2)) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return false;
        win32::ApplyLineSettings(dcb, settings);
        return ::SetCommState(handle_, &dcb) != 0;
    }

    bool DrainOutput(uint32_t timeoutMs) override {
        return WaitForOutputToLeave(SystemClock(), timeoutMs, [this]() -> int64_t {
            COMSTAT stat{};
            return ClearErrors(stat) ? int64_t{stat.cbOutQue} : -1;
        });
    }

    bool Purge(bool input, bool output) override {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        DWORD flags = 0;
        if (input) flags |= PURGE_RXCLEAR;
        if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        if (input && output) flags |= PURGE_RXABORT;  // everything, as at open and close
        if (input) held_ = false;
        return ::PurgeComm(handle_, flags) != 0;
    }

    bool LineError() override {
        COMSTAT stat{};
        ClearErrors(stat);
        const bool seen = lineErrors_ != 0;
        lineErrors_ = 0;
        return seen;
    }

    int32_t Read(uint8_t* buffer, uint32_t size) override {
        if (handle_ == INVALID_HANDLE_VALUE) return -1;
        if (size == 0) return 0;
        uint32_t count = 0;
        if (held_) {
            buffer[count++] = heldByte_;
            held_ = false;
        }
        if (count == size) return static_cast<int32_t>(count);
        // Only what is queued: a read that finds nothing does not return at
        // once on every system (Wine keeps an overlapped one pending).
        COMSTAT stat{};
        if (!ClearErrors(stat)) return count > 0 ? static_cast<int32_t>(count) : -1;
        const DWORD want = std::min<uint32_t>({size - count, kMaxChunk, stat.cbInQue});
        if (want == 0) return static_cast<int32_t>(count);
        DWORD got = 0;
        OVERLAPPED transfer = Overlapped();
        if (!SetTimeouts(kNoWait, timeouts_.WriteTotalTimeoutConstant) ||
            !Started(::ReadFile(handle_, buffer + count, want, nullptr, &transfer)) ||
            !::GetOverlappedResult(handle_, &transfer, &got, TRUE)) {
            return count > 0 ? static_cast<int32_t>(count) : -1;
        }
        return static_cast<int32_t>(count + got);
    }

    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override {
        if (handle_ == INVALID_HANDLE_VALUE) return -1;
        DWORD written = 0;
        OVERLAPPED transfer = Overlapped();
        if (!SetTimeouts(timeouts_.ReadTotalTimeoutConstant, timeoutMs) ||
            !Started(::WriteFile(handle_, data, std::min<uint32_t>(size, kMaxChunk), nullptr,
                                 &transfer)) ||
            !::GetOverlappedResult(handle_, &transfer, &written, TRUE)) {
            return -1;
        }
        return static_cast<int32_t>(written);
    }

    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override {
        if (handle_ == INVALID_HANDLE_VALUE) return WaitResult::kFailed;
        if (held_) return WaitResult::kReadable;
        if (wake != nullptr && wake->Raised()) return WaitResult::kWoken;
        if (timeoutMs == 0) return WaitResult::kTimedOut;
        const DWORD waitMs = std::min<uint32_t>(timeoutMs, kMaxWaitMs);
        OVERLAPPED transfer = Overlapped();
        if (!SetTimeouts(waitMs, timeouts_.WriteTotalTimeoutConstant) ||
            !Started(::ReadFile(handle_, &heldByte_, 1, nullptr, &transfer))) {
            return WaitResult::kFailed;
        }
        // The read ends at its first byte or at the port's read time-out.
        // The wait ends with it, when the wake event is set, or when the
        // time is up (some serial drivers do not keep read time-outs of
        // overlapped reads); a read still under way then is cancelled.
        const DWORD woke = win32::WaitWithWake(io_, wake, waitMs);
        if (woke != WAIT_OBJECT_0) ::CancelIoEx(handle_, &transfer);
        DWORD got = 0;
        const bool read = ::GetOverlappedResult(handle_, &transfer, &got, TRUE) != 0;
        held_ = read && got == 1;  // a byte that came as the wait was cut short is kept
        if (held_) return WaitResult::kReadable;
        if (woke == WAIT_OBJECT_0 + 1) return WaitResult::kWoken;
        if ((!read && woke == WAIT_OBJECT_0) || woke == WAIT_FAILED) return WaitResult::kFailed;
        return WaitResult::kTimedOut;
    }

  private:
    static constexpr DWORD kNoWait = 0;
    static constexpr uint32_t kMaxChunk = 0x7FFFFFFF;  // fits the signed count a call returns
    static constexpr DWORD kMaxWaitMs = MAXDWORD - 1;  // INFINITE is MAXDWORD

    // A transfer on the port, completed through the device's own event.
    OVERLAPPED Overlapped() const {
        OVERLAPPED transfer{};
        transfer.hEvent = io_;
        return transfer;
    }

    // Whether a transfer that ReadFile or WriteFile gave `result` for is
    // done or under way (and so GetOverlappedResult will tell how it ended).
    static bool Started(BOOL result) { return result != 0 || ::GetLastError() == ERROR_IO_PENDING; }

    // Sets the port's time-outs when they differ from those in force. Reads
    // wait up to `readWaitMs` for the first byte (kNoWait: they return at
    // once); a write gives up after `writeMs`. A write time-out of 0 would
    // mean none at all on Windows, so it is at least 1 ms: a port whose flow
    // control holds the output cannot keep a write waiting for ever.
    bool SetTimeouts(DWORD readWaitMs, DWORD writeMs) {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = readWaitMs == kNoWait ? 0 : MAXDWORD;
        t.ReadTotalTimeoutConstant = readWaitMs;
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = std::max<DWORD>(writeMs, 1);
        if (timeouts_.ReadIntervalTimeout == MAXDWORD &&
            t.ReadTotalTimeoutConstant == timeouts_.ReadTotalTimeoutConstant &&
            t.WriteTotalTimeoutConstant == timeouts_.WriteTotalTimeoutConstant) {
            return true;
        }
        if (!::SetCommTimeouts(handle_, &t)) return false;
        timeouts_ = t;
        return true;
    }

    // Queries the port, which clears its error flags; the errors are kept
    // for the next LineError.
    bool ClearErrors(COMSTAT& stat) {
        DWORD errors = 0;
        if (handle_ == INVALID_HANDLE_VALUE || !::ClearCommError(handle_, &errors, &stat)) {
            return false;
        }
        lineErrors_ |= errors;
        return true;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE io_;                // event of the transfer in progress
    COMMTIMEOUTS timeouts_{};  // in force on the port; zeroed: not known
    DWORD lineErrors_ = 0;     // error flags seen since the last LineError
    bool held_ = false;        // heldByte_ came in while waiting and is not read yet
    uint8_t heldByte_ = 0;
};

class TickClock : public Clock {
  public:
    uint32_t Ticks() override { return ::GetTickCount(); }
    void Sleep(uint32_t ms, const WakeSignal* wake) override {
        if (wake == nullptr || wake->Native() == WakeSignal::kNone) {
            ::Sleep(ms);
        } else if (!wake->Raised()) {
            ::WaitForSingleObject(reinterpret_cast<HANDLE>(wake->Native()), ms);
        }
    }
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice(std::string_view path,
                                                     uint32_t connectTimeoutMs) {
    if (IsSocketPath(path)) return MakeTcpSerialDevice(connectTimeoutMs);
    return std::make_unique<Win32SerialDevice>();
}

static_assert(std::is_trivially_destructible_v<TickClock>);

Clock& SystemClock() {
    // Trivially destructible, so it is still there when ports close while
    // the library unloads.
    static TickClock clock;
    return clock;
}

std::string PortDevicePath(int32_t portIndex) {
    if (portIndex < 0 || portIndex >= kPortCount) return {};
    // ASTREL_COM<n+1>=socket://HOST:PORT puts port index n behind a network
    // serial server; read from the process's environment at every open.
    const std::string variable = "ASTREL_COM" + std::to_string(portIndex + 1);
    char value[512] = {};
    const DWORD length = ::GetEnvironmentVariableA(variable.c_str(), value, sizeof value);
    if (length > 0 && length < sizeof value && IsSocketPath(value)) return value;
    // "\\.\COM1" .. "\\.\COM10": the device namespace reaches COM10 and above too.
    return "\\\\.\\COM" + std::to_string(portIndex + 1);
}

}  // namespace astrel
