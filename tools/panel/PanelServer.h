// The panel's web server: the page, the lists for its pickers, the stage's
// state pushed as Server-Sent Events, and the commands. Every request must
// carry the panel's token (the X-Astrel-Token header, or "token=..." in the
// query) and a Host the panel answers to, or is refused at the gate (403,
// 421). Each page's event stream is its seat: the driving page's commands
// are carried out, a watching page's are refused with 409 (a stop
// excepted), and when the driving page goes away the stage is sent a stop.
//
// Serving threads come in three lanes: event streams (at most kMaxStreams
// open; 503 beyond), stops (a lane of their own, so that a stop never waits
// behind another request), and the other requests.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Gate.h"
#include "HttpServer.h"
#include "Lane.h"
#include "ListenAddress.h"
#include "PanelStage.h"
#include "Seats.h"
#include "Updates.h"

namespace astrel::tool {

class PanelServer {
  public:
    static constexpr size_t kMaxStreams = 8;
    // The largest request body taken (the commands carry their values in the query).
    static constexpr size_t kMaxBody = 4096;

    // `simulated`, when not empty, is a simulated controller's device, offered first.
    PanelServer(PanelStage& stage, Updates& updates, std::string token, std::string simulated);
    // Ends the event streams and stops serving.
    ~PanelServer();
    PanelServer(const PanelServer&) = delete;
    PanelServer& operator=(const PanelServer&) = delete;

    // Serves on `address` (port 0: a free port) from a thread of its own;
    // the port it serves on, or -1 when it cannot listen there.
    int Listen(const ListenAddress& address);

  private:
    using Handler = std::function<Outcome(const httplib::Request&)>;

    // What the gate does with a request whose head is in.
    Verdict Sort(const RequestHead& head);
    void ServeOn(Client client);
    void Routes();
    void Events(httplib::Response& response);
    // A command only the driving page may give (`anyPage`: every page may).
    void Command(const std::string& path, Handler handler, bool anyPage = false);
    // The state as one page sees it: the stage, its seat, whether it drives.
    std::string StateFor(uint64_t seat) const;

    PanelStage& stage_;
    Updates& updates_;
    const std::string token_;
    const std::string simulated_;
    std::vector<std::string> hosts_;  // the Host values answered, set before serving
    Seats seats_;
    HttpServer http_;
    Gate gate_;
    Lane streams_;
    Lane stops_;
    Lane commands_;
    std::thread thread_;
};

}  // namespace astrel::tool
