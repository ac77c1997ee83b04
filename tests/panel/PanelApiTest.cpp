// astrel panel's HTTP interface, through the real tool against simulated
// controllers: who may ask (the token, the Host), the driving and watching
// pages, the jog that needs "still holding", the stops (each checked at the
// controller: it must have heard the stop line), a stop that no crowd of
// pages or strangers can hold up, and where the panel may listen.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include "SimController.h"
#include "ToolProcess.h"

namespace astrel::test {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t kMaxStreams = 8;  // the panel's cap on open event streams
constexpr const char* kQtStop = "L:";

// Waits up to `ms` until `done` is true; true when it is.
template <class Done>
bool Within(int ms, Done done) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until) std::this_thread::sleep_for(10ms);
    return done();
}

// A TCP connection to the panel, written and read by hand.
class RawSocket {
  public:
    explicit RawSocket(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~RawSocket() { ::close(fd_); }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    void Send(const std::string& text) const {
        EXPECT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
    }
    // Reads until `text` came (true) or the panel closed the connection or
    // `ms` passed (false).
    bool Reads(std::string_view text, int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (got_.find(text) == std::string::npos && !closed_ && Clock::now() < until) {
            pollfd readable{fd_, POLLIN, 0};
            if (::poll(&readable, 1, 50) != 1) continue;
            char buffer[4096];
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            closed_ = count <= 0;
            if (count > 0) got_.append(buffer, static_cast<size_t>(count));
        }
        return got_.find(text) != std::string::npos;
    }
    bool Closed() const { return closed_; }
    const std::string& Got() const { return got_; }

  private:
    int fd_;
    std::string got_;
    bool closed_ = false;
};

// The port and token of the address the tool printed: http://HOST:PORT/?token=TOKEN.
std::pair<int, std::string> PortAndToken(const std::string& url) {
    const size_t colon =
        url.find("]:") != std::string::npos ? url.find("]:") + 1 : url.find(':', 7);
    return {std::stoi(url.substr(colon + 1)), url.substr(url.find("token=") + 6, 32)};
}

// One open page: its event stream, which curl reads in a process of its own
// (the page goes away when it ends), and the seat the panel gave it.
class Page : public ToolProcess {
  public:
    Page(int port, const std::string& token)
        : ToolProcess({"-sN", "-H", "X-Astrel-Token: " + token,
                       "http://127.0.0.1:" + std::to_string(port) + "/api/events"},
                      "curl") {
        EXPECT_TRUE(Shows("\"seat\":"));
        const size_t at = Out().find("\"seat\":");  // none: seat 0, which the panel never gives
        if (at != std::string::npos) seat = std::stoull(Out().substr(at + 7));
    }
    // Waits up to 3 s for `text` in the stream; true when it came.
    bool Shows(std::string_view text) { return WaitForOutput(text, 3000); }
    // Waits up to 3 s for a state holding every one of `parts`; true when one came.
    bool ShowsState(std::initializer_list<std::string_view> parts) {
        const auto until = Clock::now() + 3s;
        for (size_t from = 0; Clock::now() < until; WaitForOutput("\n\n\n", 50)) {
            for (size_t end = Out().find('\n', from); end != std::string::npos;
                 from = end + 1, end = Out().find('\n', from)) {
                const std::string_view line = std::string_view(Out()).substr(from, end - from);
                if (std::all_of(parts.begin(), parts.end(), [&](std::string_view part) {
                        return line.find(part) != std::string_view::npos;
                    })) {
                    return true;
                }
            }
        }
        return false;
    }
    void Close() { Finish(0); }

    uint64_t seat = 0;
};

// The tool serving the panel for a simulated stage (a QT3 unless a test
// names another; axis speed 20000 per second).
class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tool_.WaitForOutput("\n", 5000));
        std::tie(port_, token_) = PortAndToken(tool_.Out());
    }

    // Sends `path` with `params`, the token in its header and the page's
    // `seat`; the HTTP status (-1: no answer).
    int Post(const std::string& path, uint64_t seat, httplib::Params params = {}) {
        params.emplace("seat", std::to_string(seat));
        const auto result = Client().Post(path, {{"X-Astrel-Token", token_}}, params);
        return result ? result->status : -1;
    }
    httplib::Client Client() const { return httplib::Client("127.0.0.1", port_); }

    int32_t At(int axis) {
        return controller_.With(
            [axis](sim::Simulator& s) { return s.GetDialect().Motion().Position(axis); });
    }
    bool RestsWithin(int ms) {
        return Within(ms, [this] {
            return !controller_.With(
                [](sim::Simulator& s) { return s.GetDialect().Motion().Moving(0); });
        });
    }

    SimController controller_{0, "QT3"};
    ToolProcess tool_{{"panel", "--maker", "qt", "--model", "QT3", "--device", controller_.Path(),
                       "--timeout", "300", "--listen", "127.0.0.1:0"}};
    int port_ = 0;
    std::string token_;
};

TEST_F(Panel, OnlyRequestsWithTheTokenAndTheHostAreServed) {
    std::string wrong = token_;
    wrong[5] = wrong[5] == 'a' ? 'b' : 'a';
    const std::string host = "127.0.0.1:" + std::to_string(port_);
    const struct {
        const char* name;
        bool post;
        std::string target;
        httplib::Headers headers;
        int status;
        std::string body = "";
    } rows[] = {
        // clang-format off
        {"NoToken", false, "/", {}, 403},
        {"ShortToken", false, "/?token=" + token_.substr(1), {}, 403},
        {"WrongTokenOfTheRightLength", false, "/?token=" + wrong, {}, 403},
        {"WrongTokenInTheHeader", false, "/api/catalogue", {{"X-Astrel-Token", wrong}}, 403},
        {"StopWithoutToken", true, "/api/stop?seat=1", {}, 403},
        {"TokenInTheHeader", false, "/", {{"X-Astrel-Token", token_}}, 200},
        {"TokenInTheAddress", false, "/?token=" + token_, {}, 200},
        {"OtherSitesName", false, "/", {{"X-Astrel-Token", token_}, {"Host", "evil.example"}}, 421},
        {"OtherPort", false, "/", {{"X-Astrel-Token", token_}, {"Host", "127.0.0.1:1"}}, 421},
        {"Localhost", false, "/", {{"X-Astrel-Token", token_}, {"Host", "LOCALHOST:" + std::to_string(port_)}}, 200},
        {"LargeBody", true, "/api/stop?seat=1", {{"X-Astrel-Token", token_}}, 413, std::string(5000, 'x')},
        // clang-format on
    };
    const size_t heard = controller_.HeardCount();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        httplib::Client client = Client();
        const auto result = row.post ? client.Post(row.target, row.headers, row.body, "text/plain")
                                     : client.Get(row.target, row.headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, row.status);
    }
    EXPECT_FALSE(controller_.WaitHeardLine(kQtStop, heard, 200)) << "a refused stop was sent";
}

TEST_F(Panel, OnePageDrivesAnotherWatches) {
    Page driver(port_, token_), watcher(port_, token_);
    ASSERT_TRUE(watcher.Shows("\"drives\":false"));
    const struct {
        const char* name;
        uint64_t seat;
        const char* path;
        httplib::Params params;
        int status;
    } rows[] = {
        // clang-format off
        {"WatcherCannotMove", watcher.seat, "/api/move", {{"x", "1"}, {"y", "0"}, {"z", "0"}}, 409},
        {"WatcherCannotTakeOverABusyDriver", watcher.seat, "/api/drive", {}, 409},
        {"NotANumber", driver.seat, "/api/move", {{"x", "1e3"}, {"y", "0"}, {"z", "0"}}, 400},
        {"JogOfTwo", driver.seat, "/api/jog", {{"x", "2"}, {"y", "0"}, {"z", "0"}}, 400},
        {"SpeedOfNoAxis", driver.seat, "/api/speed", {{"axis", "3"}, {"start", "1"}, {"max", "2"}, {"accel", "3"}}, 400},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Post(row.path, row.seat, row.params), row.status);
    }
    ASSERT_EQ(Post("/api/move", driver.seat, {{"x", "6000"}, {"y", "-2000"}, {"z", "100"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return At(0) != 0; }));
    size_t heard = controller_.HeardCount();
    EXPECT_EQ(Post("/api/stop", watcher.seat), 200);
    EXPECT_TRUE(controller_.WaitHeardLine(kQtStop, heard));
    ASSERT_TRUE(RestsWithin(2000));
    EXPECT_LT(At(0), 6000) << "the watcher's stop did not stop the move";
    // The driver goes away during a move: the stage stops, and the watcher may take over.
    ASSERT_EQ(Post("/api/move", driver.seat, {{"x", "-900000"}, {"y", "0"}, {"z", "0"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return At(0) < 0; }));
    heard = controller_.HeardCount();
    driver.Close();
    EXPECT_TRUE(controller_.WaitHeardLine(kQtStop, heard, 3000));
    EXPECT_TRUE(watcher.Shows("stop sent: the driving page went away"));
    EXPECT_EQ(Post("/api/drive", watcher.seat), 200);
    EXPECT_EQ(Post("/api/move", watcher.seat, {{"x", "300"}, {"y", "0"}, {"z", "0"}}), 200);
    EXPECT_TRUE(watcher.Shows("\"position\":[300,0,0]"));
}

// A driving page that gives no command for a while may be taken over, once
// the stage rests; the page taken over from watches from then on.
TEST_F(Panel, AnIdleDrivingPageIsTakenOverAtRest) {
    Page driver(port_, token_), watcher(port_, token_);
    ASSERT_EQ(Post("/api/move", driver.seat, {{"x", "900000"}, {"y", "0"}, {"z", "0"}}), 200);
    EXPECT_EQ(Post("/api/drive", watcher.seat), 409) << "taken from a page just used";
    std::this_thread::sleep_for(10s);
    EXPECT_EQ(Post("/api/drive", watcher.seat), 409) << "taken while the stage moves";
    ASSERT_EQ(Post("/api/stop", watcher.seat), 200);
    ASSERT_TRUE(RestsWithin(2000));
    // Once the panel has read the stage at rest.
    EXPECT_TRUE(Within(2000, [&] { return Post("/api/drive", watcher.seat) == 200; }));
    EXPECT_EQ(Post("/api/home", driver.seat), 409);
    EXPECT_EQ(Post("/api/home", watcher.seat), 200);
}

// A jog goes on while "still holding" comes, and stops soon after it stops.
TEST_F(Panel, AJogNeedsTheHoldToGoOn) {
    Page page(port_, token_);
    ASSERT_EQ(Post("/api/jog", page.seat, {{"x", "1"}, {"y", "0"}, {"z", "0"}}), 200);
    for (int i = 0; i < 8; ++i) {
        std::this_thread::sleep_for(150ms);
        ASSERT_EQ(Post("/api/hold", page.seat), 200);
    }
    EXPECT_FALSE(RestsWithin(0)) << "the jog stopped while held";
    const size_t heard = controller_.HeardCount();
    const auto released = Clock::now();
    EXPECT_TRUE(controller_.WaitHeardLine(kQtStop, heard));
    EXPECT_GT(Clock::now() - released, 400ms);
    EXPECT_TRUE(page.Shows("stop sent: the page stopped holding the jog"));
}

// A jog at the page's own speed sets it as the jogging axis's maximum
// speed for the jog alone; it needs the axis's other speeds set before.
TEST_F(Panel, AJogAtItsOwnSpeedSetsTheSpeedsBackAfter) {
    Page page(port_, token_);
    const httplib::Params jog = {{"x", "1"}, {"y", "0"}, {"z", "0"}, {"speed", "2000"}};
    EXPECT_EQ(Post("/api/jog", page.seat, jog), 400);
    ASSERT_EQ(Post("/api/speed", page.seat,
                   {{"axis", "0"}, {"start", "100"}, {"max", "20000"}, {"accel", "100"}}),
              200);
    ASSERT_TRUE(controller_.WaitHeardLine("D:A100,20000,100", 0));
    const size_t heard = controller_.HeardCount();
    ASSERT_EQ(Post("/api/jog", page.seat, jog), 200);
    EXPECT_TRUE(controller_.WaitHeardLine("D:A100,2000,100", heard));
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(Post("/api/jog-end", page.seat), 200);
    EXPECT_TRUE(controller_.WaitHeardLine(kQtStop, heard));
    EXPECT_TRUE(controller_.WaitHeardLine("D:A100,20000,100", heard));
    EXPECT_GT(At(0), 0);
    EXPECT_LT(At(0), 2000) << "the jog ran faster than its speed";
}

// With every event stream the panel allows open and 32 strangers sending
// their request's head a line at a time, a stop still reaches the
// controller at once; the strangers are shut out once their time is up.
TEST_F(Panel, AStopIsNeverCrowdedOut) {
    std::vector<std::unique_ptr<RawSocket>> streams;
    const std::string events =
        "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
        "\r\nX-Astrel-Token: " + token_ + "\r\n\r\n";
    for (size_t i = 0; i <= kMaxStreams; ++i) {
        streams.push_back(std::make_unique<RawSocket>(port_));
        streams.back()->Send(events);
        EXPECT_TRUE(streams.back()->Reads(i < kMaxStreams ? "event: hello" : " 503 ", 2000)) << i;
    }
    const std::string& hello = streams.front()->Got();
    const uint64_t seat = std::stoull(hello.substr(hello.find("\"seat\":") + 7));
    std::vector<std::unique_ptr<RawSocket>> strangers;
    for (int i = 0; i < 32; ++i) {
        strangers.push_back(std::make_unique<RawSocket>(port_));
        strangers.back()->Send("POST /api/stop HTTP/1.1\r\n");
    }
    ASSERT_EQ(Post("/api/move", seat, {{"x", "900000"}, {"y", "0"}, {"z", "0"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return At(0) > 0; }));
    for (const auto& stranger : strangers) stranger->Send("Host: 127.0.0.1\r\n");
    const size_t heard = controller_.HeardCount();
    const auto sent = Clock::now();
    EXPECT_EQ(Post("/api/stop", seat), 200);
    ASSERT_TRUE(controller_.WaitHeardLine(kQtStop, heard));
    const std::chrono::duration<double, std::milli> took = Clock::now() - sent;
    std::printf(
        "the stop reached the controller in %.1f ms, with %zu event streams and 32 "
        "slow strangers open\n",
        took.count(), kMaxStreams);
    EXPECT_LT(took, 100ms);
    for (const auto& stranger : strangers) {
        EXPECT_FALSE(stranger->Reads("HTTP/1.1", 2500));
        EXPECT_TRUE(stranger->Closed()) << "a head that never ends keeps its connection";
    }
}

// Ctrl-C in the tool stops the stage before the tool ends.
TEST_F(Panel, CtrlCStopsTheStage) {
    Page page(port_, token_);
    ASSERT_EQ(Post("/api/move", page.seat, {{"x", "-900000"}, {"y", "0"}, {"z", "0"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return At(0) != 0; }));
    const size_t heard = controller_.HeardCount();
    tool_.Signal(SIGINT);
    const ToolRun run = tool_.Finish(5000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.err, HasSubstr("the stage was sent a stop"));
    EXPECT_TRUE(controller_.WaitHeardLine(kQtStop, heard));
}

// The limit light is for the axes the last motion drove: an axis left
// standing on its limit does not light it for a move of another axis.
TEST_F(Panel, AtALimitOnlyForTheAxesAMoveDrove) {
    controller_.With([](sim::Simulator& s) { s.GetDialect().Motion().SetLimits(0, -9000, 5000); });
    Page page(port_, token_);
    ASSERT_EQ(Post("/api/move", page.seat, {{"x", "10000"}, {"y", "0"}, {"z", "0"}}), 200);
    EXPECT_TRUE(page.ShowsState({"\"position\":[5000,0,0]", "\"limit\":true"}));
    // Y moves while X rests on its switch, which decides the status: moving all
    // the same, as a page that opens now sees.
    Page watcher(port_, token_);
    ASSERT_TRUE(watcher.ShowsState({"\"position\":[5000,0,0]"}));
    ASSERT_EQ(
        Post("/api/move", page.seat, {{"x", "0"}, {"y", "30000"}, {"z", "0"}, {"relative", "1"}}),
        200);
    EXPECT_TRUE(watcher.ShowsState({"\"moving\":true"}));
    EXPECT_TRUE(page.ShowsState({"\"position\":[5000,30000,0]", "\"limit\":false"}))
        << page.Out().substr(page.Out().size() - 600);
}

// The library's own words reach the page: a controller that falls silent,
// a device that cannot be opened.
TEST_F(Panel, FailuresShowInWords) {
    Page page(port_, token_);
    controller_.SetFault(sim::Fault::kSilent);
    EXPECT_TRUE(page.Shows("\"noReply\":true"));
    EXPECT_TRUE(page.Shows("no reply within 300 ms"));
    EXPECT_EQ(
        Post("/api/connect", page.seat, {{"maker", "qt"}, {"model", "QT3"}, {"device", "/no/tty"}}),
        502);
    EXPECT_TRUE(page.Shows("OpenComPort on /no/tty: cannot open it"));
    EXPECT_TRUE(page.Shows("\"connected\":false"));
}

// "+" runs to plus on every maker's stage: a jog of X+, Y- and Z+ at once
// moves each axis the model has to its own side. Speeds are refused outside
// the range a maker's units name.
TEST_F(Panel, JogsRunToTheirSignOnEveryMaker) {
    Page page(port_, token_);
    const struct {
        uint16_t type;
        const char* model;
        int axes;
        int maxSpeed101;  // the answer to a maximum speed of 101
    } makers[] = {
        {0, "QT3", 3, 200},       {1, "ProScan", 3, 400}, {2, "MSC-10", 3, 200},
        {3, "FC-101G_2", 2, 200}, {4, "TH3", 3, 200},     {6, "CP-310", 3, 200},
    };
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.model);
        SimController controller(maker.type, maker.model, 1);
        ASSERT_EQ(Post("/api/connect", page.seat,
                       {{"maker", std::to_string(maker.type)},
                        {"model", maker.model},
                        {"device", controller.Path()}}),
                  200);
        const auto at = [&controller](int axis) {
            return controller.With(
                [axis](sim::Simulator& s) { return s.GetDialect().Motion().Position(axis); });
        };
        const int32_t before[3] = {at(0), at(1), maker.axes > 2 ? at(2) : 0};
        ASSERT_EQ(Post("/api/jog", page.seat, {{"x", "1"}, {"y", "-1"}, {"z", "1"}}), 200);
        std::this_thread::sleep_for(400ms);
        ASSERT_EQ(Post("/api/jog-end", page.seat), 200);
        std::printf("%-9s jog X+ Y- Z+ moved X %+d  Y %+d  Z %+d\n", maker.model, at(0) - before[0],
                    at(1) - before[1], maker.axes > 2 ? at(2) - before[2] : 0);
        EXPECT_GT(at(0), before[0]);
        EXPECT_LT(at(1), before[1]);
        if (maker.axes > 2) {
            EXPECT_GT(at(2), before[2]);
        }
        EXPECT_EQ(Post("/api/speed", page.seat,
                       {{"axis", "0"}, {"start", "1"}, {"max", "101"}, {"accel", "50"}}),
                  maker.maxSpeed101);
    }
}

// Where the panel may listen, and the address it prints: anywhere but this
// machine only with --allow-remote; IPv6 in brackets. A page with no stage
// hears from the tool all the same (ListenAddressTest has the addresses).
TEST(PanelListen, OnlyLoopbackUnlessAllowedAndIpv6InBrackets) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* out;
        const char* err;
    } rows[] = {
        {{"0.0.0.0:0"}, 2, "", "add --allow-remote"},
        {{"[::1]:0"}, 0, "http://[::1]:", ""},
        {{"0.0.0.0:0", "--allow-remote"},
         0,
         "http://127.0.0.1:",
         "anyone who can watch the network"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.front());
        std::vector<std::string> args = {"panel", "--listen"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        ToolProcess tool(args);
        if (row.exitCode == 0) {
            ASSERT_TRUE(tool.WaitForOutput("\n", 5000));
            const auto [port, token] = PortAndToken(tool.Out());
            httplib::Client client(row.args.front().front() == '[' ? "::1" : "127.0.0.1", port);
            std::string stream;
            client.Get("/api/events", {{"X-Astrel-Token", token}},
                       [&stream](const char* data, size_t size) {
                           stream.append(data, size);
                           return stream.find("event: alive") == std::string::npos;
                       });
            EXPECT_THAT(stream, HasSubstr("event: alive"));
            tool.Signal(SIGINT);
        }
        const ToolRun run = tool.Finish(5000);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
        EXPECT_THAT(run.out, HasSubstr(row.out));
        EXPECT_THAT(run.err, HasSubstr(row.err));
        if (row.exitCode != 0)
            std::printf("astrel panel --listen %s: %s", row.args[0].c_str(), run.err.c_str());
    }
}

}  // namespace
}  // namespace astrel::test
