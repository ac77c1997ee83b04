#include "HttpServer.h"

namespace astrel::tool {

namespace {

// Runs each task at once on the listening thread: the task only hands the
// accepted socket to the gate, which never blocks.
class AtOnce : public httplib::TaskQueue {
  public:
    void enqueue(std::function<void()> task) override { task(); }
    void shutdown() override {}
};

}  // namespace

HttpServer::HttpServer(std::function<void(int)> accepted) : accepted_(std::move(accepted)) {
    new_task_queue = [] { return new AtOnce; };
}

bool HttpServer::Serve(Client& connection, std::chrono::milliseconds wait) {
    SocketStream stream(connection, wait);
    bool closed = false;
    const bool served = process_request(stream, false, closed, nullptr);
    connection.bytes = stream.Unread();
    return served && !closed;
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    accepted_(sock);
    return true;
}

}  // namespace astrel::tool
