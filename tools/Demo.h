// astrel demo: a short session on a simulated controller of every maker,
// through the library's C interface, ending in one summary table.
#pragma once

#include <CLI/CLI.hpp>

#include "Options.h"

namespace astrel::tool {

void AddDemoCommand(CLI::App& app, Action& action);

}  // namespace astrel::tool
