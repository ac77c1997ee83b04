#include "ListenAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

bool IsIpv6(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

std::string Bracketed(const std::string& host) {
    return IsIpv6(host) ? "[" + host + "]" : host;
}

// The numeric addresses of the machine's interfaces.
std::vector<std::string> InterfaceAddresses() {
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        std::array<char, NI_MAXHOST> host{};
        const socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (::getnameinfo(entry->ifa_addr, size, host.data(), host.size(), nullptr, 0,
                          NI_NUMERICHOST) == 0) {
            std::string text = host.data();
            addresses.push_back(text.substr(0, text.find('%')));  // no zone
        }
    }
    ::freeifaddrs(list);
    return addresses;
}

}  // namespace

ListenAddress ListenAddress::Parse(const std::string& text) {
    ListenAddress address;
    std::string host;
    const bool bracketed = !text.empty() && text.front() == '[';
    const size_t close = text.find(']');
    std::string rest = text;
    if (bracketed && close != std::string::npos && text.compare(close + 1, 1, ":") == 0) {
        host = text.substr(1, close - 1);
        rest = "v6" + text.substr(close + 1);  // a stand-in host, so that the port is split alike
    }
    std::string split;
    if (!SplitHostPort(rest, split, address.port) || (bracketed && !IsIpv6(host)) ||
        split.empty()) {
        throw ToolError(Exit::kUsage,
                        "--listen takes HOST:PORT, for example 127.0.0.1:8080 or [::1]:8080");
    }
    if (!bracketed && split.find(':') != std::string::npos) {
        throw ToolError(Exit::kUsage, "--listen: put an IPv6 address in brackets, as in [" + split +
                                          "]:" + std::to_string(address.port));
    }
    address.host = bracketed ? host : split;
    return address;
}

bool ListenAddress::Loopback() const {
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return AsciiLower(host) == "localhost";
}

bool ListenAddress::Wildcard() const {
    return host == "0.0.0.0" || host == "::";
}

std::string ListenAddress::UrlAuthority(int served) const {
    // A page opened on every address is opened here on loopback.
    const std::string shown = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    return Bracketed(shown) + ":" + std::to_string(served);
}

std::vector<std::string> ListenAddress::HostNames(int served) const {
    std::vector<std::string> names = {host, "localhost"};
    if (Loopback() || Wildcard()) names.insert(names.end(), {"127.0.0.1", "::1"});
    if (!Loopback()) {
        std::array<char, 256> name{};
        if (::gethostname(name.data(), name.size() - 1) == 0) names.emplace_back(name.data());
    }
    if (Wildcard()) {
        for (std::string& address : InterfaceAddresses()) names.push_back(std::move(address));
    }
    std::vector<std::string> hosts;
    for (const std::string& name : names) {
        const std::string lower = AsciiLower(Bracketed(name));
        hosts.push_back(lower + ":" + std::to_string(served));
        if (served == 80) hosts.push_back(lower);  // a browser leaves the usual port out
    }
    return hosts;
}

}  // namespace astrel::tool
