// astrel ports: the serial devices present and the port variables in force.
#pragma once

#include <CLI/CLI.hpp>

#include "Options.h"

namespace astrel::tool {

void AddPortsCommand(CLI::App& app, Action& action);

}  // namespace astrel::tool
