#include "PanelCommand.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <random>

#include "Dialects.h"
#include "Interrupt.h"
#include "ListenAddress.h"
#include "Makers.h"
#include "PanelServer.h"
#include "PanelStage.h"
#include "PtySimulator.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

struct PanelOptions {
    std::string maker;
    std::string model;
    Connection line;
    std::string listen = "127.0.0.1:8080";
    bool allowRemote = false;
    std::vector<std::string> sim;  // MAKER MODEL
};

// 128 random bits as 32 hexadecimal digits.
std::string NewToken() {
    std::random_device random;
    std::string token;
    for (int word = 0; word < 4; ++word) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
        token += hex;
    }
    return token;
}

// Where to listen; anywhere but this machine only with --allow-remote.
ListenAddress Where(const PanelOptions& options) {
    const ListenAddress address = ListenAddress::Parse(options.listen);
    if (!address.Loopback() && !options.allowRemote) {
        throw ToolError(Exit::kUsage,
                        "--listen " + options.listen +
                            " lets other machines reach the panel, over plain HTTP that anyone "
                            "on the network can read, token included; add --allow-remote to "
                            "serve there all the same");
    }
    return address;
}

// A simulated controller of MAKER MODEL on a pseudo-terminal.
std::unique_ptr<sim::PtySimulator> Simulate(const std::string& maker, std::string& model) {
    static sim::SteadySimClock clock;
    return std::make_unique<sim::PtySimulator>(
        SimulatedController(ResolveMaker(maker), model, clock));
}

void Serve(PanelOptions options) {
    const ListenAddress address = Where(options);
    // Before any thread starts, so that every thread leaves the signals to it.
    InterruptWatch watch;
    std::unique_ptr<sim::PtySimulator> simulator;
    if (!options.sim.empty()) {
        simulator = Simulate(options.sim.at(0), options.sim.at(1));
        options.maker = options.sim.at(0);
        options.model = options.sim.at(1);
        options.line.device = simulator->SlavePath();
    }
    Updates updates;
    PanelStage stage(updates);
    if (!options.maker.empty()) {
        Connection connection = options.line;
        connection.makerType = ResolveMaker(options.maker);
        connection.model = options.model;
        const Outcome opened = stage.Connect(connection);
        if (!opened.ok) std::fprintf(stderr, "astrel: %s\n", opened.error.c_str());
    }
    const std::string token = NewToken();
    PanelServer server(stage, updates, token, simulator ? simulator->SlavePath() : "");
    const int serving = server.Listen(address);
    if (serving < 0) {
        throw ToolError(Exit::kNoPort, "cannot listen on " + options.listen +
                                           " (in use? --listen 127.0.0.1:0 takes a free port)");
    }
    std::printf("http://%s/?token=%s\n", address.UrlAuthority(serving).c_str(), token.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "open the address above in a browser; Ctrl-C stops the stage and ends\n");
    if (!address.Loopback()) {
        std::fprintf(stderr,
                     "warning: serving on %s to other machines, over plain HTTP: anyone who can "
                     "watch the network can read the token and drive the stage\n",
                     options.listen.c_str());
    }
    watch.WaitForSignal();
    stage.StopBecause("the panel was ended");
    std::fprintf(stderr, "the stage was sent a stop; the panel ends\n");
}

}  // namespace

void AddPanelCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<PanelOptions>();
    CLI::App* command = app.add_subcommand(
        "panel", "serve a page that shows the stage and drives it from a browser");
    auto* maker = command->add_option("--maker", options->maker,
                                      "connect at once to this maker's stage (the page can too)");
    command->add_option("--model", options->model, "the stage model")->needs(maker);
    auto* port = command->add_option("--port", options->line.port, "port index 0..9")
                     ->check(CLI::Range(0, 9));
    command->add_option("--device", options->line.device, "the serial device")->excludes(port);
    command->add_option("--timeout", options->line.timeOutMs, "reply time-out in milliseconds")
        ->check(CLI::Range(1, 600000))
        ->capture_default_str();
    command
        ->add_option("--listen", options->listen,
                     "HOST:PORT or [IPv6]:PORT to serve on (port 0: any free port)")
        ->capture_default_str();
    command->add_flag("--allow-remote", options->allowRemote,
                      "allow a --listen address other machines can reach. The panel speaks "
                      "plain HTTP: anyone who can watch the network sees the token and can "
                      "then drive the stage");
    command->add_option("--sim", options->sim, "serve a simulated MAKER MODEL and connect to it")
        ->expected(2)
        ->excludes(maker)
        ->excludes(port);
    command->callback([&action, options] { action = [options] { Serve(*options); }; });
}

}  // namespace astrel::tool
