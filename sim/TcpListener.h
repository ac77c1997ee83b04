// The listening end of a simulated network serial server: one TCP port on
// which a host connects, as to a serial device server in front of a controller.
#pragma once

#include <cstdint>
#include <string>

namespace astrel::sim {

// A socket listening on `host` (a numeric address) and `port` (0: any free
// one), non-blocking; `bound` is the port it got. Throws std::runtime_error
// when the system refuses.
int ListenTcp(const std::string& host, uint16_t port, uint16_t& bound);
// The next waiting connection, non-blocking, with Nagle's delay off; -1 when none.
int AcceptTcp(int listening);

}  // namespace astrel::sim
