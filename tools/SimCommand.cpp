#include "SimCommand.h"

#include <sys/time.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "Dialects.h"
#include "Interrupt.h"
#include "Makers.h"
#include "PtySimulator.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

struct SimOptions {
    ConnectionOptions stage;
    std::string link;
    std::string tcp;  // HOST:PORT to serve on instead of a pseudo-terminal
    bool trace = false;
    uint32_t timeScale = 1;
    sim::Fault fault = sim::Fault::kNone;
};

const Names<sim::Fault> kFaults = {
    {"none", sim::Fault::kNone},          {"silent", sim::Fault::kSilent},
    {"garbage", sim::Fault::kGarbage},    {"delayed", sim::Fault::kDelayed},
    {"half-line", sim::Fault::kHalfLine}, {"endless-lines", sim::Fault::kEndlessShortLines},
    {"hang-up", sim::Fault::kHangUp},     {"late", sim::Fault::kLate},
};

// "14:03:07.215" in local time.
std::string Timestamp() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<long>(now.tv_usec / 1000));
    return text;
}

void TraceLine(bool fromHost, std::string_view text) {
    std::fprintf(stderr, "%s %s %s\n", Timestamp().c_str(), fromHost ? "host>" : "ctrl<",
                 Visible(text).c_str());
    std::fflush(stderr);
}

// "HOST:PORT" as an endpoint; a usage error when it is not one.
sim::TcpEndpoint TcpEndpointOf(const std::string& text) {
    sim::TcpEndpoint endpoint;
    if (!SplitHostPort(text, endpoint.host, endpoint.port)) {
        throw ToolError(Exit::kUsage, "--tcp takes HOST:PORT (PORT 0: any free port), not " + text);
    }
    return endpoint;
}

void Serve(const SimOptions& options) {
    const int16_t type = ResolveMaker(options.stage.maker);
    sim::SteadySimClock clock;
    std::string model = options.stage.model;
    std::unique_ptr<sim::Dialect> controller = SimulatedController(type, model, clock);
    // Before the serving thread starts, so that it inherits the blocked signals.
    InterruptWatch watch;
    sim::PtySimulator::Trace trace = options.trace ? sim::PtySimulator::Trace(TraceLine) : nullptr;
    const sim::TcpEndpoint endpoint =
        options.tcp.empty() ? sim::TcpEndpoint{} : TcpEndpointOf(options.tcp);
    std::unique_ptr<sim::PtySimulator> served;
    try {
        served = options.tcp.empty()
                     ? std::make_unique<sim::PtySimulator>(std::move(controller), std::move(trace))
                     : std::make_unique<sim::PtySimulator>(std::move(controller), std::move(trace),
                                                           endpoint);
    } catch (const std::runtime_error& refused) {
        throw ToolError(Exit::kNoPort, refused.what());
    }
    sim::PtySimulator& runner = *served;
    runner.With([&](sim::Simulator& s) {
        s.GetDialect().Motion().SetTimeScale(options.timeScale);
        s.SetFault({options.fault});
    });
    if (!options.link.empty() && !runner.LinkAs(options.link)) {
        throw ToolError(Exit::kNoPort,
                        "cannot make the link " + options.link + " (does it exist already?)");
    }
    std::printf("%s\n", runner.SlavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "serving a simulated %s %s on %s%s%s; Ctrl-C ends\n",
                 MakerName(type).c_str(), model.c_str(), runner.SlavePath().c_str(),
                 options.link.empty() ? "" : " as ", options.link.c_str());
    watch.WaitForSignal();
}

}  // namespace

void AddSimCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<SimOptions>();
    CLI::App* command =
        app.add_subcommand("sim", "serve a simulated controller on a pseudo-terminal or TCP port");
    AddStageChoice(*command, options->stage);
    CLI::Option* link =
        command->add_option("--link", options->link, "also reach the device through this symlink");
    command
        ->add_option("--tcp", options->tcp,
                     "serve on this TCP address instead, as a network serial server "
                     "(HOST:PORT; port 0: any free port)")
        ->excludes(link);
    command->add_flag("--trace", options->trace,
                      "log each command and reply with a timestamp (on standard error)");
    command->add_option("--time-scale", options->timeScale, "simulated ms per real ms")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    AddNamedOption(*command, "--fault", options->fault, kFaults, "a fault the controller shows");
    command->callback([&action, options] { action = [options] { Serve(*options); }; });
}

}  // namespace astrel::tool
