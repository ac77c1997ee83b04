// The Prior controller: model "ProScan", three axes X, Y and Z.
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kPriorModels[] = {"ProScan"};

// A "ProScan" controller (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreatePriorDialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
