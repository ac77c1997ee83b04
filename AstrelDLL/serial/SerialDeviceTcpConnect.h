// Opening a network serial server, the same on every system once that
// system's socket headers are included: look up "socket://HOST:PORT", try
// each address in turn, and note why none connected.
#pragma once

#include <string>

#include "diag/LastError.h"
#include "serial/SerialDeviceTcp.h"

namespace astrel {

// `connect(address)` gives 0 once connected (the device keeps the socket),
// else the system's error code: `refused` and `timedOut` are the system's
// codes for those two, and `other(error)` puts any other code in words.
template <class Connect>
bool ConnectToServer(const std::string& path, Connect connect, int refused, int timedOut,
                     const char* (*other)(int)) {
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
    for (const addrinfo* at = found; at != nullptr && error != 0; at = at->ai_next) {
        error = connect(*at);
    }
    ::freeaddrinfo(found);
    if (error != 0) {
        NoteOpenFailed(error == refused    ? "connection refused"
                       : error == timedOut ? "the server did not answer the connection"
                                           : other(error));
    }
    return error == 0;
}

}  // namespace astrel
