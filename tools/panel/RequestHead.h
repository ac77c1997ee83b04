// The head of an HTTP request (its request line and header fields), read by
// the panel's gate before any serving thread is given the request: enough
// to tell who asks (the token, the Host) and what for (the path).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace astrel::tool {

struct RequestHead {
    std::string method;
    std::string path;                                         // the target up to its query
    std::string query;                                        // after the '?', undecoded
    std::vector<std::pair<std::string, std::string>> fields;  // names in lower case

    // The first field of `name` (lower case); empty when there is none.
    std::string Field(std::string_view name) const;
    // The query parameter `name`, undecoded; empty when there is none.
    std::string Param(std::string_view name) const;
};

// Where the head in `bytes` ends (just past its empty line), or nothing
// while it is not complete.
std::optional<size_t> HeadEnd(std::string_view bytes);

// The head in `bytes` (up to HeadEnd), or nothing when it is not a request head.
std::optional<RequestHead> ParseHead(std::string_view bytes);

}  // namespace astrel::tool
