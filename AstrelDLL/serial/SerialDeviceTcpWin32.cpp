// The network serial server on Windows: a non-blocking Winsock socket whose
// read and close events set an event object, so that a wait for input
// watches it beside the wake signal's event. The bytes waiting come from
// FIONREAD; once the server has closed the connection and nothing is left
// to read, the device has hung up.
#include <winsock2.h>
#include <ws2tcpip.h>
// After the two above, whose types it uses.
#include <mstcpip.h>

#include <algorithm>
#include <climits>
#include <string>

#include "diag/LastError.h"
#include "serial/SerialDeviceTcp.h"
#include "serial/SerialDeviceTcpConnect.h"
#include "serial/SerialDeviceWin32Wait.h"

namespace astrel {
namespace {

// TCP_MAXRT of the system's ws2ipdef.h, which MinGW's headers lack: the
// seconds a connection waits for its data to be acknowledged.
constexpr int kTcpMaxRt = 5;

// Starts Winsock once for the process. It is never cleaned up: a port that
// closes while the library unloads must not call WSACleanup under the
// loader's lock, and the system frees it with the process.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

class Win32TcpSerialDevice : public SerialDevice {
  public:
    explicit Win32TcpSerialDevice(uint32_t connectMs)
        : connectMs_(connectMs),
          event_(WinsockStarted() ? ::WSACreateEvent() : WSA_INVALID_EVENT) {}
    ~Win32TcpSerialDevice() override {
        Close();
        if (event_ != WSA_INVALID_EVENT) ::WSACloseEvent(event_);
    }

    bool Open(const std::string& path) override {
        Close();
        if (event_ == WSA_INVALID_EVENT) {
            NoteOpenFailed("the system's sockets (Winsock) could not be started");
            return false;
        }
        return ConnectToServer(
            path, connectMs_,
            [this](const addrinfo& address, uint32_t ms) { return Connect(address, ms); },
            WSAECONNREFUSED, WSAETIMEDOUT, ErrorWords);
    }

    void Close() override {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    // The server runs the line at its own settings.
    bool Configure(const SerialSettings&) override { return socket_ != INVALID_SOCKET; }

    // Winsock does not tell what is still unsent; closing sends it all the same.
    bool DrainOutput(uint32_t) override { return socket_ != INVALID_SOCKET; }

    bool Purge(bool input, bool) override {
        if (socket_ == INVALID_SOCKET) return false;
        char dropped[256];
        while (input) {
            const int n = ::recv(socket_, dropped, sizeof dropped, 0);
            if (n <= 0) return n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK;
        }
        return true;
    }

    // The line's errors stay with the server.
    bool LineError() override { return false; }

    int32_t Read(uint8_t* buffer, uint32_t size) override {
        const int n = ::recv(socket_, reinterpret_cast<char*>(buffer),
                             static_cast<int>(std::min<uint32_t>(size, INT_MAX)), 0);
        if (n > 0) return n;
        if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return 0;
        return -1;  // closed by the server, or failed
    }

    int32_t Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) override {
        const uint32_t start = SystemClock().Ticks();
        for (;;) {
            const int n = ::send(socket_, reinterpret_cast<const char*>(data),
                                 static_cast<int>(std::min<uint32_t>(size, INT_MAX)), 0);
            if (n >= 0) return n;
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
            const uint32_t elapsed = SystemClock().Ticks() - start;
            if (elapsed >= timeoutMs) return 0;  // a stall: the connection took nothing
            if (Select(socket_, true, timeoutMs - elapsed) < 0) return -1;
        }
    }

    WaitResult WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) override {
        if (socket_ == INVALID_SOCKET) return WaitResult::kFailed;
        if (wake != nullptr && wake->Raised()) return WaitResult::kWoken;
        // Reset first, then look: input that comes after the look sets the event again.
        ::WSAResetEvent(event_);
        u_long waiting = 0;
        if (::ioctlsocket(socket_, FIONREAD, &waiting) != 0) return WaitResult::kFailed;
        if (waiting > 0) return WaitResult::kReadable;
        if (PeerClosed()) return WaitResult::kFailed;
        const DWORD woke = win32::WaitWithWake(event_, wake, timeoutMs);
        if (woke == WAIT_OBJECT_0) return WaitResult::kReadable;  // input or a close: Read tells
        if (woke == WAIT_OBJECT_0 + 1) return WaitResult::kWoken;
        return woke == WAIT_TIMEOUT ? WaitResult::kTimedOut : WaitResult::kFailed;
    }

  private:
    // Waits until `s` may be written (or, for a connect, has failed) or `ms`
    // pass: 1 ready, 0 not in time, -1 failed.
    static int Select(SOCKET s, bool write, uint32_t ms) {
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval limit{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
        const int n =
            ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &limit);
        if (n < 0 || FD_ISSET(s, &failed)) return -1;
        return n > 0 ? 1 : 0;
    }

    // Connects to `address` within `ms`; 0, or the Winsock error.
    int Connect(const addrinfo& address, uint32_t ms) {
        const SOCKET s = NewSocket(address);
        if (s == INVALID_SOCKET) return ::WSAGetLastError();
        // Read and close events set event_; the socket becomes non-blocking.
        int error = ::WSAEventSelect(s, event_, FD_READ | FD_CLOSE) != 0 ? ::WSAGetLastError() : 0;
        if (error == 0 &&
            ::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
            error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                const int ready = Select(s, true, ms);
                int length = sizeof error;
                error = ready == 0 ? WSAETIMEDOUT : 0;
                if (ready < 0 && ::getsockopt(s, SOL_SOCKET, SO_ERROR,
                                              reinterpret_cast<char*>(&error), &length) != 0) {
                    error = ::WSAGetLastError();
                }
                if (ready < 0 && error == 0) error = WSAECONNREFUSED;
            }
        }
        if (error != 0) {
            ::closesocket(s);
            return error;
        }
        // Each command goes out at once instead of waiting to join the next.
        const BOOL on = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        // A server that died, or a cable pulled, is a hang-up within about
        // 10 s: a quiet connection is probed every 2 s (the system gives up
        // after ten probes a second apart), and bytes the server does not
        // acknowledge are given up after 10 s.
        tcp_keepalive keepalive{1, 2000, 1000};
        DWORD returned = 0;
        ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned,
                   nullptr, nullptr);
        const DWORD deadS = 10;
        ::setsockopt(s, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&deadS),
                     sizeof deadS);
        socket_ = s;
        return 0;
    }

    // A socket for `address` that no child process inherits (a child would
    // keep the connection alive after CloseComPort, and a server that takes
    // one client would then refuse the next open).
    static SOCKET NewSocket(const addrinfo& address) {
        const SOCKET s = ::WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol,
                                      nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (s != INVALID_SOCKET) return s;
        // Systems before Windows 7 SP1 lack the flag.
        const SOCKET old = ::WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol,
                                        nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (old != INVALID_SOCKET) {
            ::SetHandleInformation(reinterpret_cast<HANDLE>(old), HANDLE_FLAG_INHERIT, 0);
        }
        return old;
    }

    // Winsock error `error` in the words Linux gives it (the system's own
    // words for the errors these do not name).
    static std::string ErrorWords(int error) {
        switch (error) {
            case WSAENETUNREACH:
                return "Network is unreachable";
            case WSAEHOSTUNREACH:
                return "No route to host";
            case WSAENETDOWN:
                return "Network is down";
            case WSAEADDRNOTAVAIL:
                return "Cannot assign requested address";
            case WSAEAFNOSUPPORT:
                return "Address family not supported by protocol";
            case WSAEACCES:
                return "Permission denied";
            case WSAECONNRESET:
                return "Connection reset by peer";
            default:
                break;
        }
        char text[256] = {};
        const DWORD length =
            ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK,
                             nullptr, static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
        std::string words(text, length);
        while (!words.empty() && (words.back() == ' ' || words.back() == '.')) words.pop_back();
        return words.empty() ? "system error " + std::to_string(error) : words;
    }

    bool PeerClosed() const {
        char byte = 0;
        const int n = ::recv(socket_, &byte, 1, MSG_PEEK);
        return n == 0 || (n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK);
    }

    uint32_t connectMs_;
    WSAEVENT event_ = WSA_INVALID_EVENT;
    SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeTcpSerialDevice(uint32_t connectTimeoutMs) {
    return std::make_unique<Win32TcpSerialDevice>(connectTimeoutMs);
}

}  // namespace astrel
