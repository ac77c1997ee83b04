// The per-axis sign (+1 or -1) that the exports apply to coordinates between
// the host and the driver.
#pragma once

#include <cstdint>

#include "driver/HostNumbers.h"

namespace astrel {

// value times sign, wrapping on overflow (only the most negative value can
// overflow, and it maps to itself).
constexpr int32_t ApplySign(int32_t value, int16_t sign) {
    return WrappingProduct(value, sign);
}

// A jog direction times sign, kept to its low 16 bits.
constexpr int16_t ApplySign(int16_t direction, int16_t sign) {
    return static_cast<int16_t>(static_cast<uint16_t>(ApplySign(int32_t{direction}, sign)));
}

// Signs other than +1 and -1 (0 included) count as +1.
constexpr int16_t NormalisedSign(int16_t sign) {
    return sign == -1 ? int16_t{-1} : int16_t{1};
}

}  // namespace astrel
