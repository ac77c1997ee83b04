#include "serial/SerialDeviceTcp.h"

#include <charconv>

namespace astrel {

bool SplitSocketPath(std::string_view path, std::string& host, std::string& port) {
    if (!IsSocketPath(path)) return false;
    path.remove_prefix(kSocketScheme.size());
    const size_t colon = path.rfind(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = path.substr(0, colon);
    const std::string_view number = path.substr(colon + 1);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (name.empty() || error != std::errc() || end != number.data() + number.size() || value < 1 ||
        value > 65535) {
        return false;
    }
    host.assign(name);
    port.assign(number);
    return true;
}

}  // namespace astrel
