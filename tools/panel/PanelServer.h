// The panel's web server: the page, the lists for its pickers, the stage's
// state pushed as Server-Sent Events, and the commands. Every request must
// carry the panel's token (in the query, "token=...", or the X-Astrel-Token
// header) or is refused with 403. Each page's event stream is its seat: the
// driving page's commands are carried out, a watching page's are refused
// with 409 (a stop excepted), and when the driving page goes away the stage
// is sent a stop.
#pragma once

#include <httplib.h>

#include <string>
#include <thread>

#include "PanelStage.h"
#include "Seats.h"
#include "Updates.h"

namespace astrel::tool {

class PanelServer {
  public:
    // `simulated`, when not empty, is a simulated controller's device, offered first.
    PanelServer(PanelStage& stage, Updates& updates, std::string token, std::string simulated);
    // Ends the event streams and stops serving.
    ~PanelServer();
    PanelServer(const PanelServer&) = delete;
    PanelServer& operator=(const PanelServer&) = delete;

    // Serves on `host`:`port` (0: a free port) from a thread of its own;
    // the port it serves on, or -1 when it cannot listen there.
    int Listen(const std::string& host, int port);

  private:
    using Handler = std::function<Outcome(const httplib::Request&)>;

    bool HasToken(const httplib::Request& request) const;
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
    Seats seats_;
    httplib::Server server_;
    std::thread thread_;
};

}  // namespace astrel::tool
