#include "PanelServer.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

#include "Json.h"
#include "Makers.h"
#include "PanelLists.h"
#include "PanelPage.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

// Threads that serve stops, and other requests (the event streams have
// one each).
constexpr size_t kStopThreads = 2;
constexpr size_t kCommandThreads = 4;
// Requests that may wait for a thread of their lane.
constexpr size_t kStopQueue = 16;
constexpr size_t kCommandQueue = 32;
// The longest a serving thread waits for the socket, to read or to write.
constexpr std::chrono::milliseconds kSocketWait{2000};
// An event stream with nothing new sends a keep-alive event this often, so
// that the page knows the tool is there and a page that went away is noticed.
constexpr std::chrono::milliseconds kKeepAlive{1000};
// Bounds the wait for the serving thread to start.
constexpr int kStartWaitMs = 2000;

constexpr int kBadRequest = 400;
constexpr int kNotTheDriver = 409;
constexpr int kStageFailed = 502;

// The answer to a page address without the token. A page that had the token
// keeps it for its tab (the address bar no longer shows it), so a reload
// finds it again here; a token the panel no longer takes means the tool was
// started anew.
constexpr const char* kNoTokenPage = R"(<!doctype html>
<html lang="en"><meta charset="utf-8"><title>astrel panel</title>
<p id="why">This address lacks the panel's token: open the address that astrel panel printed.</p>
<script>
const kept = sessionStorage.getItem('astrel-token');
if (kept && !location.search) {
  location.replace('/?token=' + encodeURIComponent(kept));
} else if (kept) {
  sessionStorage.removeItem('astrel-token');
  document.getElementById('why').textContent = "The panel no longer takes this page's token: " +
    'the tool was started again. Open the new address that astrel panel printed.';
}
</script></html>
)";

// A request with a missing or unusable parameter.
class BadRequest : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A request this page may not make now, and why.
class NotNow : public std::runtime_error {
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
    : stage_(stage),
      updates_(updates),
      token_(std::move(token)),
      simulated_(std::move(simulated)),
      http_([this](int fd) { gate_.Accepted(fd); }),
      gate_([this](const RequestHead& head) { return Sort(head); }),
      streams_(kMaxStreams, 0, [this](Client c) { ServeOn(std::move(c)); }),
      stops_(kStopThreads, kStopQueue, [this](Client c) { ServeOn(std::move(c)); }),
      commands_(kCommandThreads, kCommandQueue, [this](Client c) { ServeOn(std::move(c)); }) {
    http_.set_payload_max_length(kMaxBody);
    Routes();
}

PanelServer::~PanelServer() {
    updates_.Close();
    http_.stop();
    if (thread_.joinable()) thread_.join();
    // The gate stops handing out requests before the lanes go; the lanes'
    // requests end (the event streams with the updates) and may still give
    // their connections back to it.
    gate_.Stop();
}

int PanelServer::Listen(const ListenAddress& address) {
    const int bound = address.port == 0
                          ? http_.bind_to_any_port(address.host)
                          : (http_.bind_to_port(address.host, address.port) ? address.port : -1);
    if (bound < 0) return -1;
    hosts_ = address.HostNames(bound);
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    // Until it runs a stop would be lost; it runs at once, so the wait is short.
    for (int waited = 0; !http_.is_running() && waited < kStartWaitMs; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return bound;
}

Verdict PanelServer::Sort(const RequestHead& head) {
    // A page of another site that got its name pointed at this machine
    // names that site here.
    const std::string host = AsciiLower(head.Field("host"));
    if (std::find(hosts_.begin(), hosts_.end(), host) == hosts_.end()) {
        return Verdict::Answer(
            HttpAnswer(421, "Misdirected Request", "text/plain",
                       "this panel does not answer to the host \"" + host + "\"\n"));
    }
    const std::string header = head.Field("x-astrel-token");
    if (!SameToken(header.empty() ? head.Param("token") : header, token_)) {
        if (head.path == "/") {
            return Verdict::Answer(
                HttpAnswer(403, "Forbidden", "text/html; charset=utf-8", kNoTokenPage));
        }
        return Verdict::Answer(
            HttpAnswer(403, "Forbidden", "text/plain",
                       "the panel's address must carry its token, as astrel panel printed it\n"));
    }
    if (head.path == "/api/events") {
        return Verdict::To(streams_, HttpAnswer(503, "Service Unavailable", "text/plain",
                                                "the panel serves " + std::to_string(kMaxStreams) +
                                                    " pages at most: close another one\n"));
    }
    const std::string busy =
        HttpAnswer(503, "Service Unavailable", "text/plain", "the panel is busy: try again\n");
    return Verdict::To(head.path == "/api/stop" ? stops_ : commands_, busy);
}

void PanelServer::ServeOn(Client client) {
    if (http_.Serve(client, kSocketWait)) gate_.Kept(std::move(client));
}

std::string PanelServer::StateFor(uint64_t seat) const {
    return JsonObject()
        .Raw("stage", stage_.StateJson())
        .Number("seat", static_cast<int64_t>(seat))
        .Bool("drives", seats_.Drives(seat))
        .Bool("driven", seats_.Driven())
        .Number("pages", static_cast<int64_t>(seats_.Count()))
        .Number("driverIdleMs", seats_.DriverIdle().count())
        .Number(
            "takeOverAfterMs",
            std::chrono::duration_cast<std::chrono::milliseconds>(Seats::kTakeOverAfter).count())
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
                    text = "event: alive\ndata: {}\n\n";
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
    http_.Post(path, [this, handler = std::move(handler), anyPage](const httplib::Request& request,
                                                                   httplib::Response& response) {
        const uint64_t seat = SeatOf(request);
        if (!anyPage && !seats_.Drives(seat)) {
            Answer(response, kNotTheDriver, "another page drives the stage; this one watches");
            return;
        }
        seats_.Active(seat);
        try {
            const Outcome outcome = handler(request);
            Answer(response, outcome.ok ? 200 : kStageFailed, outcome.error);
        } catch (const BadRequest& error) {
            Answer(response, kBadRequest, error.what());
        } catch (const NotNow& refused) {
            Answer(response, kNotTheDriver, refused.what());
        }
    });
}

void PanelServer::Routes() {
    http_.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Referrer-Policy", "no-referrer");
        response.set_header("X-Content-Type-Options", "nosniff");
        // Nothing from elsewhere: the page talks to this server alone.
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; connect-src 'self'; style-src 'unsafe-inline'; "
                            "script-src 'unsafe-inline'; img-src data:");
        response.set_content(kPanelPage, sizeof kPanelPage - 1, "text/html; charset=utf-8");
    });
    http_.Get("/api/events",
              [this](const httplib::Request&, httplib::Response& response) { Events(response); });
    http_.Get("/api/catalogue", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(CatalogueJson(), "application/json");
    });
    http_.Get("/api/ports", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(PortsJson(simulated_), "application/json");
    });

    Command(
        "/api/drive",
        [this](const httplib::Request& request) {
            const std::string refused = seats_.Claim(SeatOf(request), stage_.AtRest());
            if (!refused.empty()) throw NotNow(refused);
            updates_.Notify();
            return Outcome{};
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
    Command("/api/jog", [this](const httplib::Request& r) {
        const Xyz directions = Triple(r, -1, 1);
        if (r.get_param_value("speed").empty()) return stage_.Jog(directions);
        const auto speed =
            static_cast<int32_t>(Integer(r, "speed", 0, std::numeric_limits<int32_t>::max()));
        const std::string refused = stage_.JogSpeedError(directions, speed);
        if (!refused.empty()) throw BadRequest(refused);
        return stage_.Jog(directions, speed);
    });
    Command("/api/hold", [this](const httplib::Request&) { return stage_.Hold(); });
    Command("/api/jog-end", [this](const httplib::Request&) { return stage_.EndJog(); });
    Command("/api/home", [this](const httplib::Request&) { return stage_.Home(); });
    Command("/api/origin", [this](const httplib::Request&) { return stage_.SetOrigin(); });
    Command("/api/speed", [this](const httplib::Request& r) {
        const auto value = [&](const char* name) {
            return static_cast<int32_t>(Integer(r, name, 0, std::numeric_limits<int32_t>::max()));
        };
        const int32_t start = value("start"), max = value("max"), accel = value("accel");
        const std::string outside = stage_.SpeedRangeError(start, max, accel);
        if (!outside.empty()) throw BadRequest(outside);
        return stage_.SetSpeeds(static_cast<int>(Integer(r, "axis", 0, 2)), start, max, accel);
    });
    // Any page may stop the stage: a watcher who sees it run away too.
    Command(
        "/api/stop", [this](const httplib::Request&) { return stage_.Stop(); }, true);
}

}  // namespace astrel::tool
