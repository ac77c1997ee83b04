// Arithmetic on numbers from the host and the controller, wrapping or
// saturating on purpose: no signed overflow, whatever the values.
#pragma once

#include <cstdint>

namespace astrel {

// a times b in 32-bit two's complement, wrapping on overflow.
constexpr int32_t WrappingProduct(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The magnitude of `value`; INT32_MIN gives 2147483648.
constexpr uint32_t Magnitude(int32_t value) {
    return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

// The sign character of a sign-and-magnitude number: '+' for 0 and above, '-' below.
constexpr char SignOf(int32_t value) {
    return value < 0 ? '-' : '+';
}

// -1, 0 or 1: the direction of a jog value.
constexpr int32_t Direction(int32_t value) {
    return (value > 0) - (value < 0);
}

}  // namespace astrel
