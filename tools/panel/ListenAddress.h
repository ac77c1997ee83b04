// Where the panel listens, from --listen: "127.0.0.1:8080", "[::1]:8080",
// "localhost:0", "0.0.0.0:8080". It tells loopback from other addresses, the
// Host header values a browser sends for the panel, and the address to open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace astrel::tool {

struct ListenAddress {
    std::string host;  // as the socket takes it: no brackets around an IPv6 address
    uint16_t port = 0;

    // Throws a usage error for text that is not HOST:PORT or [IPv6]:PORT.
    static ListenAddress Parse(const std::string& text);

    // Only this machine can reach it: 127.0.0.0/8, ::1 or localhost.
    bool Loopback() const;
    // Every address of the machine: 0.0.0.0 or ::.
    bool Wildcard() const;
    // "HOST:PORT" as it goes in a URL ("[::1]:8080").
    std::string UrlAuthority(int port) const;
    // The Host header values that name the panel served on `port`, lower case.
    std::vector<std::string> HostNames(int port) const;
};

}  // namespace astrel::tool
