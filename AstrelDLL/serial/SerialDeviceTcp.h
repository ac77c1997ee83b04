// A controller behind a network serial server (raw TCP, one port per
// controller), named "socket://HOST:PORT" where a device path goes. The
// connection is one more device under the transport: framing, time-outs,
// purges and stops work as on a local port, and a dropped connection is a
// hang-up, as an unplugged adapter is. Line settings belong to the server
// and are left alone.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "serial/SerialDevice.h"

namespace astrel {

inline constexpr std::string_view kSocketScheme = "socket://";

inline bool IsSocketPath(std::string_view path) {
    return path.starts_with(kSocketScheme);
}

// Splits "socket://HOST:PORT" (HOST may be "[v6 address]") into host and
// port; false when either is missing or the port is not 1 to 65535.
bool SplitSocketPath(std::string_view path, std::string& host, std::string& port);

// A device that connects to a network serial server at Open, giving up after
// `connectTimeoutMs` in all.
std::unique_ptr<SerialDevice> MakeTcpSerialDevice(uint32_t connectTimeoutMs);

}  // namespace astrel
