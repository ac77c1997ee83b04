// Shared shape of the exports: no exception crosses the C interface (a body
// that throws, which only allocation can, returns the export's failure
// value), and exports that need a stage find its record and driver one way.
#pragma once

#include <cstdint>
#include <utility>

#include "CAstrelDLLApp.h"

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

// Runs `body(driver, record)` for a valid handle whose record has a driver;
// otherwise, or when the body throws, returns `noStage`.
template <typename Body>
int32_t WithStage(int32_t handle, int32_t noStage, Body&& body) noexcept {
    CAstrelData* record = TheApp().Record(handle);
    if (record == nullptr || record->driver == nullptr) return noStage;
    return Guarded(noStage, [&] { return body(*record->driver, *record); });
}

}  // namespace astrel
