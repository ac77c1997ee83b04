// cpp-httplib's server with the panel's own door: the sockets it accepts go
// to `accepted` (the gate) instead of its thread pool, and the gate's
// serving threads have it parse, route and answer one request at a time.
// cpp-httplib 0.11 bounds each read of a request's head but not the whole
// head, so a stranger sending a byte now and then would hold one of its
// threads for ever; the gate bounds the whole head.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>

#include "Socket.h"

namespace astrel::tool {

class HttpServer : public httplib::Server {
  public:
    explicit HttpServer(std::function<void(int)> accepted);

    // Serves the request whose head `connection` holds, each read or write
    // waiting at most `wait`; true when the connection may carry another
    // request (its bytes then hold what came of it already).
    bool Serve(Client& connection, std::chrono::milliseconds wait);

  private:
    bool process_and_close_socket(socket_t sock) override;

    const std::function<void(int)> accepted_;
};

}  // namespace astrel::tool
