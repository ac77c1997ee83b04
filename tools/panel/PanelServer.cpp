#include "PanelServer.h"

#include <charconv>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

#include "Json.h"
#include "Makers.h"
#include "PanelLists.h"
#include "PanelPage.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

// Threads that serve requests; each open page holds one for its event stream.
constexpr size_t kServingThreads = 32;
// An event stream with nothing new sends a comment this often, so that a
// page that went away is noticed.
constexpr std::chrono::milliseconds kKeepAlive{1000};
// Bounds the wait for the serving thread to start.
constexpr int kStartWaitMs = 2000;

constexpr int kForbidden = 403;
constexpr int kBadRequest = 400;
constexpr int kNotTheDriver = 409;
constexpr int kStageFailed = 502;

// A request with a missing or unusable parameter.
class BadRequest : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

int64_t Integer(const httplib::Request& request, const char* name, int64_t lowest,
                int64_t highest) {
    const std::string text = request.get_param_value(name);
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || at != end || value < lowest || value > highest) {
        throw BadRequest(std::string(name) + " must be a whole number from " +
                         std::to_string(lowest) + " to " + std::to_string(highest));
    }
    return value;
}

Xyz Triple(const httplib::Request& request, int64_t lowest, int64_t highest) {
    return {static_cast<int32_t>(Integer(request, "x", lowest, highest)),
            static_cast<int32_t>(Integer(request, "y", lowest, highest)),
            static_cast<int32_t>(Integer(request, "z", lowest, highest))};
}

Xyz Coordinates(const httplib::Request& request) {
    return Triple(request, std::numeric_limits<int32_t>::min(),
                  std::numeric_limits<int32_t>::max());
}

uint64_t SeatOf(const httplib::Request& request) {
    const std::string text = request.get_param_value("seat");
    uint64_t seat = Seats::kNobody;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, seat);
    return error == std::errc{} && at == end ? seat : Seats::kNobody;
}

void Answer(httplib::Response& response, int status, const std::string& error) {
    response.status = status;
    JsonObject json;
    json.Bool("ok", error.empty());
    if (!error.empty()) json.Text("error", error);
    response.set_content(json.Close(), "application/json");
}

// Constant time, so that the time taken tells nothing about the token.
bool SameToken(const std::string& given, const std::string& token) {
    if (given.size() != token.size()) return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < token.size(); ++i) {
        differ |= static_cast<unsigned char>(given[i] ^ token[i]);
    }
    return differ == 0;
}

Connection ConnectionFrom(const httplib::Request& request) {
    Connection connection;
    try {
        connection.makerType = ResolveMaker(request.get_param_value("maker"));
    } catch (const ToolError& error) {
        throw BadRequest(error.what());
    }
    connection.model = request.get_param_value("model");
    connection.device = request.get_param_value("device");
    if (request.has_param("port")) {
        connection.port = static_cast<uint16_t>(Integer(request, "port", 0, 9));
    } else if (connection.device.empty()) {
        throw BadRequest("a port or a device is needed");
    }
    return connection;
}

}  // namespace

PanelServer::PanelServer(PanelStage& stage, Updates& updates, std::string token,
                         std::string simulated)
    : stage_(stage), updates_(updates), token_(std::move(token)), simulated_(std::move(simulated)) {
    server_.new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
    Routes();
}

PanelServer::~PanelServer() {
    updates_.Close();
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

int PanelServer::Listen(const std::string& host, int port) {
    const int bound =
        port == 0 ? server_.bind_to_any_port(host) : (server_.bind_to_port(host, port) ? port : -1);
    if (bound < 0) return -1;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // Until it runs a stop would be lost; it runs at once, so the wait is short.
    for (int waited = 0; !server_.is_running() && waited < kStartWaitMs; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return bound;
}

bool PanelServer::HasToken(const httplib::Request& request) const {
    const std::string given = request.has_param("token")
                                  ? request.get_param_value("token")
                                  : request.get_header_value("X-Astrel-Token");
    return SameToken(given, token_);
}

std::string PanelServer::StateFor(uint64_t seat) const {
    return JsonObject()
        .Raw("stage", stage_.StateJson())
        .Number("seat", static_cast<int64_t>(seat))
        .Bool("drives", seats_.Drives(seat))
        .Bool("driven", seats_.Driven())
        .Number("pages", static_cast<int64_t>(seats_.Count()))
        .Close();
}

void PanelServer::Events(httplib::Response& response) {
    struct Stream {
        uint64_t seat;
        uint64_t seen = 0;
        bool greeted = false;
    };
    auto stream = std::make_shared<Stream>(Stream{seats_.Join()});
    updates_.Notify();
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](size_t, httplib::DataSink& sink) {
            std::string text;
            if (!stream->greeted) {
                stream->greeted = true;
                text =
                    "retry: 1000\nevent: hello\ndata: {\"seat\":" + std::to_string(stream->seat) +
                    "}\n\n";
            } else {
                const std::optional<uint64_t> now = updates_.Wait(stream->seen, kKeepAlive);
                if (!now) return false;  // the panel is closing
                if (*now == stream->seen) {
                    text = ": still here\n\n";
                } else {
                    stream->seen = *now;
                    text = "data: " + StateFor(stream->seat) + "\n\n";
                }
            }
            return sink.write(text.data(), text.size());
        },
        [this, stream](bool) {
            if (seats_.Leave(stream->seat)) stage_.StopBecause("the driving page went away");
            updates_.Notify();
        });
}

void PanelServer::Command(const std::string& path, Handler handler, bool anyPage) {
    server_.Post(path, [this, handler = std::move(handler), anyPage](
                           const httplib::Request& request, httplib::Response& response) {
        if (!anyPage && !seats_.Drives(SeatOf(request))) {
            Answer(response, kNotTheDriver, "another page drives the stage; this one watches");
            return;
        }
        try {
            const Outcome outcome = handler(request);
            Answer(response, outcome.ok ? 200 : kStageFailed, outcome.error);
        } catch (const BadRequest& error) {
            Answer(response, kBadRequest, error.what());
        }
    });
}

void PanelServer::Routes() {
    server_.set_pre_routing_handler([this](const httplib::Request& request,
                                           httplib::Response& response) {
        if (HasToken(request)) return httplib::Server::HandlerResponse::Unhandled;
        response.status = kForbidden;
        response.set_content(
            "the panel's address must carry its token, as astrel panel printed it\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    server_.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Referrer-Policy", "no-referrer");
        response.set_header("X-Content-Type-Options", "nosniff");
        // Nothing from elsewhere: the page talks to this server alone.
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; connect-src 'self'; style-src 'unsafe-inline'; "
                            "script-src 'unsafe-inline'; img-src data:");
        response.set_content(kPanelPage, sizeof kPanelPage - 1, "text/html; charset=utf-8");
    });
    server_.Get("/api/events",
                [this](const httplib::Request&, httplib::Response& response) { Events(response); });
    server_.Get("/api/catalogue", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(CatalogueJson(), "application/json");
    });
    server_.Get("/api/ports", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(PortsJson(simulated_), "application/json");
    });

    Command(
        "/api/drive",
        [this](const httplib::Request& request) {
            if (seats_.Claim(SeatOf(request))) {
                updates_.Notify();
                return Outcome{};
            }
            return Outcome{false, "another page drives the stage"};
        },
        true);
    Command("/api/connect",
            [this](const httplib::Request& r) { return stage_.Connect(ConnectionFrom(r)); });
    Command("/api/disconnect", [this](const httplib::Request&) {
        stage_.Disconnect();
        return Outcome{};
    });
    Command("/api/move", [this](const httplib::Request& r) {
        return r.get_param_value("relative") == "1" ? stage_.MoveBy(Coordinates(r))
                                                    : stage_.MoveTo(Coordinates(r));
    });
    Command("/api/jog", [this](const httplib::Request& r) { return stage_.Jog(Triple(r, -1, 1)); });
    Command("/api/hold", [this](const httplib::Request&) { return stage_.Hold(); });
    Command("/api/jog-end", [this](const httplib::Request&) { return stage_.EndJog(); });
    Command("/api/home", [this](const httplib::Request&) { return stage_.Home(); });
    Command("/api/origin", [this](const httplib::Request&) { return stage_.SetOrigin(); });
    Command("/api/speed", [this](const httplib::Request& r) {
        const auto value = [&](const char* name) {
            return static_cast<int32_t>(Integer(r, name, 0, std::numeric_limits<int32_t>::max()));
        };
        return stage_.SetSpeeds(static_cast<int>(Integer(r, "axis", 0, 2)), value("start"),
                                value("max"), value("accel"));
    });
    // Any page may stop the stage: a watcher who sees it run away too.
    Command(
        "/api/stop", [this](const httplib::Request&) { return stage_.Stop(); }, true);
}

}  // namespace astrel::tool
