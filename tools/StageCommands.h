// The subcommands a person uses on a stage, each a thin layer over the
// library's C interface: makers, models, status, position, move, jog, home,
// stop, set-origin, speed and raw.
#pragma once

#include <CLI/CLI.hpp>

#include "Options.h"

namespace astrel::tool {

void AddStageCommands(CLI::App& app, Action& action);

}  // namespace astrel::tool
