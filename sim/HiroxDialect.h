// The Hirox controllers: "CT-7_2" (two axes), "CT-7_1" (one) and "TH3"
// (three), with axes numbered from 1 and "@" commands.
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kHiroxModels[] = {"CT-7_2", "CT-7_1", "TH3"};

// A Hirox controller of `model` (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreateHiroxDialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
