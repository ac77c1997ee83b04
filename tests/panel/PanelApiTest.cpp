// astrel panel's HTTP interface, through the real tool against a simulated
// QT3: the token check, the driving and watching pages, the jog that needs
// "still holding", the stops when the driver or the tool goes, and failures
// in words. A page's event stream is read with curl.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "SimController.h"
#include "ToolProcess.h"

namespace astrel::test {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Waits up to `ms` until `done` is true; true when it is.
template <class Done>
bool Within(int ms, Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    return done();
}

// One open page: its event stream, which curl reads in a process of its own
// (the page goes away when it ends), and the seat the panel gave it.
class Page : public ToolProcess {
  public:
    Page(int port, const std::string& token)
        : ToolProcess(
              {"-sN", "http://127.0.0.1:" + std::to_string(port) + "/api/events?token=" + token},
              "curl") {
        EXPECT_TRUE(Shows("\"seat\":"));
        const size_t at = Out().find("\"seat\":");  // none: seat 0, which the panel never gives
        if (at != std::string::npos) seat = std::stoull(Out().substr(at + 7));
    }
    // Waits up to 3 s for `text` in the stream; true when it came.
    bool Shows(std::string_view text) { return WaitForOutput(text, 3000); }
    void Close() { Finish(0); }

    uint64_t seat = 0;
};

// The tool serving the panel for a simulated QT3 (axis speed 20000 per second).
class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tool_.WaitForOutput("\n", 5000));
        const std::string& url = tool_.Out();  // http://127.0.0.1:PORT/?token=TOKEN
        port_ = std::stoi(url.substr(url.find(':', 7) + 1));
        token_ = url.substr(url.find("token=") + 6, 32);
    }

    // POSTs `path` with the token, `seat` and `params`; the HTTP status (-1: no answer).
    int Post(const std::string& path, uint64_t seat, httplib::Params params = {}) {
        params.emplace("seat", std::to_string(seat));
        const auto result =
            httplib::Client("127.0.0.1", port_).Post(path + "?token=" + token_, params);
        return result ? result->status : -1;
    }

    // The simulated X axis: where it is, and whether it comes to rest within `ms`.
    int32_t X() {
        return controller_.With(
            [](sim::Simulator& s) { return s.GetDialect().Motion().Position(0); });
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

TEST_F(Panel, EveryRequestWithoutTheTokenIsRefused) {
    const struct {
        bool post;
        std::string target;
        httplib::Headers headers;
        int status;
    } rows[] = {
        {false, "/", {}, 403},
        {false, "/?token=" + token_.substr(1), {}, 403},
        {false, "/api/catalogue", {}, 403},
        {true, "/api/move?x=5000&y=0&z=0&seat=1", {}, 403},
        {false, "/", {{"X-Astrel-Token", token_}}, 200},
        {false, "/?token=" + token_, {}, 200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target);
        httplib::Client client("127.0.0.1", port_);
        const auto result =
            row.post ? client.Post(row.target, row.headers) : client.Get(row.target, row.headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, row.status);
    }
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
        {"WatcherCannotClaim", watcher.seat, "/api/drive", {}, 502},
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
    ASSERT_TRUE(Within(2000, [this] { return X() != 0; }));
    EXPECT_EQ(Post("/api/stop", watcher.seat), 200);
    ASSERT_TRUE(RestsWithin(2000));
    EXPECT_GT(X(), 0);
    EXPECT_LT(X(), 6000) << "the watcher's stop did not stop the move";
    // The driver goes away during a move: the stage stops, and the watcher may take over.
    ASSERT_EQ(Post("/api/move", driver.seat, {{"x", "-900000"}, {"y", "0"}, {"z", "0"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return X() < 0; }));
    driver.Close();
    EXPECT_TRUE(RestsWithin(3000));
    EXPECT_TRUE(watcher.Shows("stop sent: the driving page went away"));
    EXPECT_EQ(Post("/api/drive", watcher.seat), 200);
    EXPECT_EQ(Post("/api/move", watcher.seat, {{"x", "300"}, {"y", "0"}, {"z", "0"}}), 200);
    EXPECT_TRUE(watcher.Shows("\"position\":[300,0,0]"));
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
    const auto released = std::chrono::steady_clock::now();
    EXPECT_TRUE(RestsWithin(2000));
    EXPECT_GT(std::chrono::steady_clock::now() - released, 400ms);
    EXPECT_TRUE(page.Shows("stop sent: the page stopped holding the jog"));
}

// Ctrl-C in the tool stops the stage before the tool ends.
TEST_F(Panel, CtrlCStopsTheStage) {
    Page page(port_, token_);
    ASSERT_EQ(Post("/api/move", page.seat, {{"x", "-900000"}, {"y", "0"}, {"z", "0"}}), 200);
    ASSERT_TRUE(Within(2000, [this] { return X() != 0; }));
    tool_.Signal(SIGINT);
    const ToolRun run = tool_.Finish(5000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.err, HasSubstr("the stage was sent a stop"));
    EXPECT_TRUE(RestsWithin(2000));
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

}  // namespace
}  // namespace astrel::test
