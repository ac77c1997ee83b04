#include "PanelCommand.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <random>

#include "Dialects.h"
#include "Interrupt.h"
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

std::pair<std::string, int> HostAndPort(const std::string& listen) {
    std::string host;
    uint16_t port = 0;
    if (!SplitHostPort(listen, host, port)) {
        throw ToolError(Exit::kUsage, "--listen takes HOST:PORT, for example 127.0.0.1:8080");
    }
    return {host, port};
}

// A simulated controller of MAKER MODEL on a pseudo-terminal.
std::unique_ptr<sim::PtySimulator> Simulate(const std::string& maker, std::string& model) {
    static sim::SteadySimClock clock;
    return std::make_unique<sim::PtySimulator>(
        SimulatedController(ResolveMaker(maker), model, clock));
}

void Serve(PanelOptions options) {
    const auto [host, port] = HostAndPort(options.listen);
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
    const int serving = server.Listen(host, port);
    if (serving < 0) {
        throw ToolError(Exit::kNoPort, "cannot listen on " + options.listen +
                                           " (in use? --listen 127.0.0.1:0 takes a free port)");
    }
    std::printf("http://%s:%d/?token=%s\n", host.c_str(), serving, token.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "open the address above in a browser; Ctrl-C stops the stage and ends\n");
    if (host != "127.0.0.1" && host != "localhost") {
        std::fprintf(stderr, "warning: listening on %s: other machines may reach the panel\n",
                     host.c_str());
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
    command->add_option("--listen", options->listen, "HOST:PORT to serve on (port 0: any)")
        ->capture_default_str();
    command->add_option("--sim", options->sim, "serve a simulated MAKER MODEL and connect to it")
        ->expected(2)
        ->excludes(maker)
        ->excludes(port);
    command->callback([&action, options] { action = [options] { Serve(*options); }; });
}

}  // namespace astrel::tool
