#include "PortsCommand.h"

#include <cstdio>

#include "PortList.h"

namespace astrel::tool {

void AddPortsCommand(CLI::App& app, Action& action) {
    CLI::App* command = app.add_subcommand(
        "ports",
        "list the serial ports present (UARTs, USB adapters) and the ASTREL_COM<n> in force");
    command->callback([&action] {
        action = [] {
            const std::string listing = FormatPorts(ListPorts("/sys", "/dev"), PortMappings());
            std::fputs(listing.c_str(), stdout);
        };
    });
}

}  // namespace astrel::tool
