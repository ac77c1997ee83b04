// The Suruga controller: model "MSC-10", three axes lettered X, Y and Z.
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kSurugaModels[] = {"MSC-10"};

// A Suruga controller of `model` (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreateSurugaDialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
