// The CP-310 controllers: "CP-310" (axes 1 to 3: X, Y, Z) and "CP-500"
// (axes 1 and 2: X, Y).
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kCp310Models[] = {"CP-310", "CP-500"};

// A CP-310 controller of `model` (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreateCp310Dialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
