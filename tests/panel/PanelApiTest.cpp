// astrel panel's HTTP interface, through the real tool against a simulated
// QT3: the token check, the driving and watching pages, the jog that needs
// "still holding", the stops when the driver or the tool goes, and failures
// in words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "SimController.h"
#include "ToolProcess.h"

namespace astrel::test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The tool serving the panel for a simulated QT3 (axis speed 20000 per second).
class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        tool_ = std::make_unique<ToolProcess>(std::vector<std::string>{
            "panel", "--maker", "qt", "--model", "QT3", "--device", controller_.Path(), "--timeout",
            "300", "--listen", "127.0.0.1:0"});
        ASSERT_TRUE(tool_->WaitForOutput("\n", 5000));
        const std::string& url = tool_->Out();
        const size_t port = url.find(':', 7) + 1;
        port_ = std::stoi(url.substr(port));
        token_ = url.substr(url.find("token=") + 6, 32);
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(5, 0);
        return client;
    }

    // POSTs `path` with the token, `seat` and `params`; the HTTP status (-1: no answer).
    int Post(const std::string& path, uint64_t seat, httplib::Params params = {}) const {
        params.emplace("token", token_);
        params.emplace("seat", std::to_string(seat));
        const auto result =
            Client().Post(path + "?" + httplib::detail::params_to_query_str(params));
        return result ? result->status : -1;
    }

    int32_t Axis(int axis, bool moving = false) {
        return controller_.With([&](sim::Simulator& s) {
            auto& motion = s.GetDialect().Motion();
            return moving ? int32_t{motion.Moving(axis)} : motion.Position(axis);
        });
    }

    // Waits up to `ms` until `done` is true; true when it is.
    template <class Done>
    static bool Within(int ms, Done done) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (!done() && Clock::now() < until) std::this_thread::sleep_for(10ms);
        return done();
    }
    bool RestsWithin(int ms) {
        return Within(ms, [this] { return !Axis(0, true); });
    }
    // Waits until the simulated X axis has left 0.
    bool Runs() {
        return Within(2000, [this] { return Axis(0) != 0; });
    }

    SimController controller_{0, "QT3"};
    std::unique_ptr<ToolProcess> tool_;
    int port_ = 0;
    std::string token_;
};

// One page's event stream, read on a thread of its own until closed.
class Events {
  public:
    Events(int port, const std::string& token) : client_("127.0.0.1", port) {
        reader_ = std::thread([this, token] {
            client_.Get("/api/events?token=" + token, [this](const char* data, size_t size) {
                {
                    const std::lock_guard lock(mutex_);
                    text_.append(data, size);
                }
                arrived_.notify_all();
                return true;
            });
        });
    }
    ~Events() { Close(); }

    // Waits up to `ms` for `text` in the stream; true when it came.
    bool WaitFor(const std::string& text, int ms = 3000) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return text_.find(text) != std::string::npos; });
    }
    uint64_t Seat() {
        EXPECT_TRUE(WaitFor("\"seat\":"));
        const std::lock_guard lock(mutex_);
        return std::stoull(text_.substr(text_.find("\"seat\":") + 7));
    }
    // The page goes away: its connection closes.
    void Close() {
        client_.stop();
        if (reader_.joinable()) reader_.join();
    }

  private:
    httplib::Client client_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string text_;
    std::thread reader_;
};

TEST_F(Panel, EveryRequestWithoutTheTokenIsRefused) {
    const std::string wrong(32, '0');
    const struct {
        const char* method;
        std::string target;
        httplib::Headers headers;
        int status;
    } rows[] = {
        {"GET", "/", {}, 403},
        {"GET", "/?token=" + wrong, {}, 403},
        {"GET", "/?token=" + token_.substr(1), {}, 403},
        {"GET", "/api/catalogue", {}, 403},
        {"GET", "/api/events", {}, 403},
        {"POST", "/api/move?x=5000&y=0&z=0&seat=1", {}, 403},
        {"POST", "/api/connect?maker=0&model=QT3&port=0", {}, 403},
        {"GET", "/nothing?token=" + token_, {}, 404},
        {"GET", "/", {{"X-Astrel-Token", token_}}, 200},
        {"GET", "/?token=" + token_, {}, 200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.method + (" " + row.target));
        auto client = Client();
        const auto result = std::string(row.method) == "POST" ? client.Post(row.target)
                                                              : client.Get(row.target, row.headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, row.status);
        if (row.status == 200) {
            EXPECT_THAT(result->body, HasSubstr("<title>astrel panel"));
        }
    }
    EXPECT_TRUE(RestsWithin(0));
    EXPECT_EQ(Axis(0), 0);
}

TEST_F(Panel, OnePageDrivesAnotherWatches) {
    Events driver(port_, token_);
    const uint64_t driving = driver.Seat();
    Events watcher(port_, token_);
    const uint64_t watching = watcher.Seat();
    ASSERT_TRUE(watcher.WaitFor("\"drives\":false"));
    const struct {
        const char* name;
        uint64_t seat;
        const char* path;
        httplib::Params params;
        int status;
    } rows[] = {
        // clang-format off
        {"WatcherCannotMove", watching, "/api/move", {{"x", "1"}, {"y", "0"}, {"z", "0"}}, 409},
        {"WatcherCannotClaim", watching, "/api/drive", {}, 502},
        {"NotANumber", driving, "/api/move", {{"x", "1e3"}, {"y", "0"}, {"z", "0"}}, 400},
        {"MissingAxis", driving, "/api/move", {{"x", "1"}, {"y", "0"}}, 400},
        {"JogOfTwo", driving, "/api/jog", {{"x", "2"}, {"y", "0"}, {"z", "0"}}, 400},
        {"SpeedOfNoAxis", driving, "/api/speed",
         {{"axis", "3"}, {"start", "1"}, {"max", "2"}, {"accel", "3"}}, 400},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Post(row.path, row.seat, row.params), row.status);
    }
    ASSERT_EQ(Post("/api/move", driving, {{"x", "6000"}, {"y", "-2000"}, {"z", "100"}}), 200);
    ASSERT_TRUE(Runs());
    EXPECT_EQ(Post("/api/stop", watching), 200);
    ASSERT_TRUE(RestsWithin(2000));
    EXPECT_GT(Axis(0), 0);
    EXPECT_LT(Axis(0), 6000) << "the watcher's stop did not stop the move";
    // The driver goes: the watcher may take over.
    driver.Close();
    EXPECT_TRUE(watcher.WaitFor("stop sent: the driving page went away"));
    EXPECT_EQ(Post("/api/drive", watching), 200);
    EXPECT_EQ(Post("/api/move", watching, {{"x", "300"}, {"y", "0"}, {"z", "0"}}), 200);
    EXPECT_TRUE(watcher.WaitFor("\"position\":[300,0,0]"));
}

// A jog goes on while "still holding" comes, and stops soon after it stops.
TEST_F(Panel, AJogNeedsTheHoldToGoOn) {
    Events page(port_, token_);
    const uint64_t seat = page.Seat();
    ASSERT_EQ(Post("/api/jog", seat, {{"x", "1"}, {"y", "0"}, {"z", "0"}}), 200);
    for (int i = 0; i < 8; ++i) {
        std::this_thread::sleep_for(150ms);
        ASSERT_EQ(Post("/api/hold", seat), 200);
    }
    EXPECT_TRUE(Axis(0, true)) << "the jog stopped while held";
    const auto released = Clock::now();
    EXPECT_TRUE(RestsWithin(2000));
    EXPECT_GT(Clock::now() - released, 400ms);
    EXPECT_TRUE(page.WaitFor("stop sent: the page stopped holding the jog"));
}

// A page that goes away without a word, and Ctrl-C in the tool, stop the stage.
TEST_F(Panel, TheStageStopsWhenTheDriverOrTheToolGoes) {
    for (const bool tool : {false, true}) {
        SCOPED_TRACE(tool ? "Ctrl-C" : "page gone");
        controller_.With(
            [](sim::Simulator& s) { return s.GetDialect().Motion().SetPosition(0, 0); });
        Events page(port_, token_);
        ASSERT_EQ(Post("/api/move", page.Seat(), {{"x", "-900000"}, {"y", "0"}, {"z", "0"}}), 200);
        ASSERT_TRUE(Runs());
        if (tool) {
            tool_->Signal(SIGINT);
        } else {
            page.Close();
        }
        EXPECT_TRUE(RestsWithin(3000));
        EXPECT_GT(Axis(0), -400000);
    }
    const ToolRun run = tool_->Finish(5000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.err, HasSubstr("the stage was sent a stop"));
}

// The library's own words reach the page: a controller that falls silent,
// a device that cannot be opened.
TEST_F(Panel, FailuresShowInWords) {
    Events page(port_, token_);
    const uint64_t seat = page.Seat();
    controller_.SetFault(sim::Fault::kSilent);
    EXPECT_TRUE(page.WaitFor("\"noReply\":true"));
    EXPECT_TRUE(page.WaitFor("no reply within 300 ms"));
    EXPECT_EQ(
        Post("/api/connect", seat, {{"maker", "qt"}, {"model", "QT3"}, {"device", "/no/tty"}}),
        502);
    EXPECT_TRUE(page.WaitFor("OpenComPort on /no/tty: cannot open it"));
    EXPECT_TRUE(page.WaitFor("\"connected\":false"));
}

}  // namespace
}  // namespace astrel::test
