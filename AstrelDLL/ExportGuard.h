// Keeps exceptions from crossing the C interface: an export body that throws
// (only allocation can) returns the export's failure value instead.
#pragma once

#include <utility>

namespace astrel {

template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

template <typename Body>
void Guarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace astrel
