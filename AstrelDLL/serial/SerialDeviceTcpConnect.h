// Opening a network serial server, the same on every system once that
// system's socket headers are included: look up "socket://HOST:PORT", try
// each address in turn within one time-out, and note why none connected.
#pragma once

#include <string>

#include "diag/LastError.h"
#include "serial/SerialDevice.h"
#include "serial/SerialDeviceTcp.h"

namespace astrel {

// `connect(address, ms)` gives 0 once connected within `ms` (the device
// keeps the socket), else the system's error code: `refused` and `timedOut`
// are the system's codes for those two, and `other(error)` puts any other
// code in words. The addresses are tried within `timeoutMs` in all.
template <class Connect, class Words>
bool ConnectToServer(const std::string& path, uint32_t timeoutMs, Connect connect, int refused,
                     int timedOut, Words other) {
    std::string host, port;
    if (!SplitSocketPath(path, host, port)) {
        NoteOpenFailed("not socket://HOST:PORT");
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    // A numeric address needs no lookup; a host name is looked up with the
    // system resolver's own time limits.
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        NoteOpenFailed(std::string("unknown host: ") + gai_strerror(error));
        return false;
    }
    int error = -1;
    const uint32_t start = SystemClock().Ticks();
    for (const addrinfo* at = found; at != nullptr && error != 0; at = at->ai_next) {
        const uint32_t elapsed = SystemClock().Ticks() - start;
        error = elapsed < timeoutMs ? connect(*at, timeoutMs - elapsed) : timedOut;
    }
    ::freeaddrinfo(found);
    if (error != 0) {
        NoteOpenFailed(error == refused    ? std::string("connection refused")
                       : error == timedOut ? std::string("the server did not answer the connection")
                                           : std::string(other(error)));
    }
    return error == 0;
}

}  // namespace astrel
