// The QT controllers: models "QT1" (one axis), "QT2" and "MSC2" (two) and
// "QT3" (three), with controller axes lettered "A" to "F".
#pragma once

#include <memory>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

inline constexpr std::string_view kQtModels[] = {"QT1", "QT2", "QT3", "MSC2"};

// A QT controller of `model` (ASCII case ignored), or null for a model it is not.
std::unique_ptr<Dialect> CreateQtDialect(std::string_view model, SimClock& clock);

}  // namespace astrel::sim
