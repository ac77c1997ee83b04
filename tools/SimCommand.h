// astrel sim: serves a simulated controller on a pseudo-terminal (or a TCP
// port, as a network serial server) until
// SIGINT or SIGTERM, for a person or a program to drive as a real one.
#pragma once

#include <CLI/CLI.hpp>

#include "Options.h"

namespace astrel::tool {

void AddSimCommand(CLI::App& app, Action& action);

}  // namespace astrel::tool
