// The astrel tool as a person uses it: the real binary, run as a child
// process against simulated controllers, judged by its exit code and what it
// prints, and by what the simulated stage did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "Dialects.h"
#include "SimController.h"
#include "ToolProcess.h"

namespace astrel::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

constexpr const char* kQtMakerUtf8 = "\xe4\xb8\xad\xe5\xa4\xae\xe7\xb2\xbe\xe6\xa9\x9f";

// Waits up to `ms` until `done` is true; true when it is.
template <class Done>
bool Within(int ms, Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    return done();
}

// `args` with "@stage" replaced by the options that reach the simulated QT3 on `device`.
Args WithStage(Args args, const std::string& device) {
    const auto at = std::find(args.begin(), args.end(), "@stage");
    if (at == args.end()) return args;
    *at = "--device";
    args.insert(at + 1, {device, "--maker", "qt", "--model", "QT3", "--timeout", "300"});
    return args;
}

// One row per run, in order, against one simulated stage.
TEST(Tool, SubcommandsReportWhatHappenedAndWhy) {
    const struct {
        const char* name;
        Args args;
        int exitCode;
        const char* out = "";
        const char* err = "";
        sim::Fault fault = sim::Fault::kNone;
    } runs[] = {
        // clang-format off
        {"MakersInUtf8", {"makers"}, 0, kQtMakerUtf8},
        {"ModelsWithAxes", {"models", "qt"}, 0, "QT1    1\nQT2    2\nQT3    3\nMSC2   2\n"},
        {"MoveAndWait", {"move", "1500", "-700", "300", "--wait", "@stage"}, 0, "at rest: X 1500  Y -700  Z 300"},
        {"RelativeMove", {"move", "--relative", "100", "100", "100", "--wait", "@stage"}, 0},
        {"Position", {"position", "@stage"}, 0, "X 1600  Y -600  Z 400"},
        {"RawExchange", {"raw", "Q:A0B0C0", "@stage"}, 0, "1600,-600,400"},
        {"SetOrigin", {"set-origin", "@stage"}, 0, "position now: X 0  Y 0  Z 0"},
        {"StatusTraced", {"status", "--trace", "@stage"}, 0, "status 0: at rest", " -> \"Q:A0B0C0\\r\\n\""},
        {"SilentController", {"status", "@stage"}, 4, "", "reading the status: GetStageStatus on /dev/pts/",
         sim::Fault::kSilent},
        {"UnknownModel", {"status", "--maker", "0", "--model", "QT9", "--device", "/dev/null"}, 2, "",
         "the maker has no stage model \"QT9\" (models: QT1, QT2, QT3, MSC2)"},
        {"MissingDevice", {"status", "--maker", "qt", "--model", "QT3", "--device", "/no/tty"}, 3, "",
         "OpenComPort on /no/tty: cannot open it: no such device"},
        {"UnknownMaker", {"status", "--maker", "acme", "--model", "QT3"}, 2, "", "unknown maker"},
        {"HelpGivesExitCodes", {"--help"}, 0, "130  interrupted by Ctrl-C"},
        // clang-format on
    };
    SimController controller(0, "QT3");
    for (const auto& row : runs) {
        SCOPED_TRACE(row.name);
        controller.SetFault(row.fault);
        const ToolRun run = RunTool(WithStage(row.args, controller.Path()));
        EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
        EXPECT_THAT(run.out, HasSubstr(row.out));
        EXPECT_THAT(run.err, HasSubstr(row.err));
    }
}

// A move is done when every axis rests, and it ends at a limit only when an
// axis it drove is on one: X resting on its switch (which decides the QT
// status) neither ends a move of Y early nor fails it.
TEST(Tool, AMoveWaitsForEveryAxisAndFailsOnlyAtALimitItDrove) {
    SimController controller(0, "QT3");
    controller.With([](sim::Simulator& s) {
        s.GetDialect().Motion().SetLimits(0, -100000, 1000);
        s.GetDialect().Motion().SetLimits(1, -100000, 50000);
    });
    const struct {
        Args move;
        int exitCode;
        const char* out;
    } runs[] = {
        {{"5000", "0", "0"}, 6, ""},  // X onto its switch
        {{"--relative", "0", "30000", "0"},
         0,
         "at rest: X 1000  Y 30000"},                // Y while X rests there
        {{"--relative", "0", "30000", "0"}, 6, ""},  // Y onto its own switch
    };
    for (const auto& run : runs) {
        Args args = {"move"};
        args.insert(args.end(), run.move.begin(), run.move.end());
        args.insert(args.end(), {"--wait", "@stage"});
        const ToolRun done = RunTool(WithStage(args, controller.Path()));
        EXPECT_EQ(done.exitCode, run.exitCode) << done.err;
        EXPECT_THAT(done.out, HasSubstr(run.out));
    }
}

// A signal during move --wait stops the stage at once, even while the tool
// waits for a reply that does not come, and ends the tool with 128 + its
// number; the controller has heard the stop.
TEST(Tool, ASignalDuringAWaitStopsTheStage) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        SimController controller(0, "QT3");
        Args args = WithStage({"move", "500000", "0", "0", "--wait", "@stage"}, controller.Path());
        args.back() = "5000";  // a reply time-out far longer than the stop may take
        ToolProcess tool(args);
        ASSERT_TRUE(tool.WaitForOutput("moving", 5000));
        controller.SetFault(sim::Fault::kSilent);
        std::this_thread::sleep_for(200ms);
        const size_t heard = controller.HeardCount();
        tool.Signal(signal);
        const ToolRun run = tool.Finish(1500);
        EXPECT_EQ(run.exitCode, 128 + signal);
        EXPECT_THAT(run.err, HasSubstr("the stage was sent a stop"));
        EXPECT_TRUE(controller.WaitHeardLine("L:", heard));
    }
}

// astrel jog runs each axis to the side its sign says, on the ProScan too
// (whose own jog of +1 runs to minus), until Ctrl-C stops it.
TEST(Tool, CtrlCStopsAJogThatRunsToItsSign) {
    SimController controller(1, "ProScan");
    ToolProcess tool({"jog", "1", "-1", "1", "--device", controller.Path(), "--maker", "prior",
                      "--model", "ProScan"});
    const auto at = [&controller](int axis) {
        return controller.With(
            [axis](sim::Simulator& s) { return s.GetDialect().Motion().Position(axis); });
    };
    ASSERT_TRUE(Within(3000, [&] { return at(0) != 0; }));
    const size_t heard = controller.HeardCount();
    tool.Signal(SIGINT);
    const ToolRun run = tool.Finish(3000);
    EXPECT_EQ(run.exitCode, 128 + SIGINT) << run.err;
    EXPECT_TRUE(controller.WaitHeardLine("I:", heard));
    EXPECT_GT(at(0), 0);
    EXPECT_LT(at(1), 0);
    EXPECT_GT(at(2), 0);
}

// astrel sim serves its controller on the device it prints (and its link) or
// on a TCP port, to one host after another until a signal ends it, tracing
// what it hears.
TEST(Tool, SimServesAControllerUntilASignal) {
    const std::string link = ::testing::TempDir() + "astrel-sim-" + std::to_string(::getpid());
    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "tcp" : "pty");
        ToolProcess sim({"sim", "--maker", "qt", "--model", "qt3", "--trace",
                         tcp ? "--tcp" : "--link", tcp ? "127.0.0.1:0" : link});
        ASSERT_TRUE(sim.WaitForOutput("\n", 5000));
        const std::string device = tcp ? sim.Out().substr(0, sim.Out().find('\n')) : link;
        for (const char* command : {"status", "position"}) {  // one host after another
            const ToolRun run = RunTool(WithStage({command, "@stage"}, device));
            EXPECT_EQ(run.exitCode, 0) << run.err;
        }
        sim.Signal(SIGINT);
        const ToolRun served = sim.Finish(5000);
        EXPECT_EQ(served.exitCode, 0);
        EXPECT_THAT(served.out, StartsWith(tcp ? "socket://127.0.0.1:" : "/dev/pts/"));
        EXPECT_THAT(served.err, HasSubstr("host> Q:A0B0C0"));
    }
    struct stat info {};
    EXPECT_NE(::lstat(link.c_str(), &info), 0) << "the link outlived the simulator";
}

TEST(Tool, TheDemoPassesForEveryMaker) {
    const auto start = std::chrono::steady_clock::now();
    const ToolRun run = RunTool({"demo"}, 60000);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const size_t makers = sim::AllDialects().size();
    EXPECT_THAT(run.out, HasSubstr(std::to_string(makers) + " of " + std::to_string(makers) +
                                   " makers passed"));
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(took, std::chrono::seconds(15));
#endif
}

}  // namespace
}  // namespace astrel::test
