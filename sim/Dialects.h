// Every simulated controller family: one row per maker, found by the maker
// type number the library uses or by a short name.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "Dialect.h"
#include "SimClock.h"

namespace astrel::sim {

struct DialectInfo {
    uint16_t makerType;     // 0 QT, 1 Prior, 2 Suruga, 3 Sigma, 4 Hirox, 6 CP-310
    std::string_view name;  // short ASCII name: "qt"
    std::span<const std::string_view> models;  // the model names it serves
    // A controller of `model` (ASCII case ignored), or null for a model not served.
    // The clock must outlive the dialect.
    std::unique_ptr<Dialect> (*create)(std::string_view model, SimClock& clock);
};

std::span<const DialectInfo> AllDialects();
const DialectInfo* FindDialectByType(uint16_t makerType);
// `name` is compared ignoring ASCII case.
const DialectInfo* FindDialectByName(std::string_view name);
// The model's name as the dialect spells it, or empty when it does not serve it.
std::string_view FindModel(const DialectInfo& dialect, std::string_view model);

}  // namespace astrel::sim
