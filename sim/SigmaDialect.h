// The Sigma controllers in their four command dialects: FC-101G (models
// "FC-101G_2" with two axes and "FC-101G_1" with one), "Mark-102",
// "SHOT-202" and "SHOT-204MS" (two axes each as simulated).
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kSigmaModels[] = {"FC-101G_2", "FC-101G_1", "Mark-102",
                                                    "SHOT-202", "SHOT-204MS"};

// A Sigma controller of `model` (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreateSigmaDialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
