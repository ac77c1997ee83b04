// astrel panel: serves a page that shows a stage and drives it from a browser.
#pragma once

#include <CLI/CLI.hpp>

#include "Options.h"

namespace astrel::tool {

void AddPanelCommand(CLI::App& app, Action& action);

}  // namespace astrel::tool
