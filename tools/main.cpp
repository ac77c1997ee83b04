// astrel: drive a stage from the command line, serve a simulated controller,
// or run the demo. Every subcommand goes through the library's C interface.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>

#include "Demo.h"
#include "PanelCommand.h"
#include "PortsCommand.h"
#include "SimCommand.h"
#include "StageCommands.h"
#include "ToolError.h"

namespace astrel::tool {

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0    done\n"
    "  1    demo: a session did not go as expected\n"
    "  2    bad arguments, or an unknown maker or model\n"
    "  3    the port could not be opened (sim: the link or the TCP port could not be made)\n"
    "  4    no usable reply from the controller within the time-out\n"
    "  5    a command could not be written, or the driver or controller refused it\n"
    "  6    the stage stopped at a limit\n"
    "  7    the controller reports an error, or a state that is not at rest\n"
    "  8    still moving when --max-wait ran out (a stop was sent)\n"
    "  130  interrupted by Ctrl-C (SIGINT); 143 by SIGTERM, 129 by SIGHUP. A moving stage\n"
    "       was sent a stop first. sim ends with 0 on these signals.\n";

namespace {

int Run(int argc, char** argv) {
    // A reader that goes away (astrel move --wait | head) must not end the
    // tool while the stage moves: writes to it fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app{"astrel: drive motorised stages through libastrel, or simulated ones"};
    app.require_subcommand(1);
    app.footer(kExitCodeHelp);
    Action action;
    AddStageCommands(app, action);
    AddPortsCommand(app, action);
    AddSimCommand(app, action);
    AddDemoCommand(app, action);
    AddPanelCommand(app, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return static_cast<int>(Exit::kUsage);
    }
    try {
        action();
        return static_cast<int>(Exit::kOk);
    } catch (const ToolError& error) {
        std::fprintf(stderr, "astrel: %s\n", error.what());
        return error.Code();
    } catch (const Interrupted& interrupted) {
        std::fprintf(stderr, "astrel: %s\n", interrupted.what());
        return interrupted.Code();
    }
}

}  // namespace

}  // namespace astrel::tool

int main(int argc, char** argv) {
    return astrel::tool::Run(argc, argv);
}
