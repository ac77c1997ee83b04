// Shared shape of the exports: no exception crosses the C interface (a body
// that throws, which only allocation can, returns the export's failure
// value), and exports that use a handle find its record and driver one way,
// holding the handle's lock for the whole call.
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

// Runs `body(record)` with the handle's lock held, for a valid handle that
// no thread has released; otherwise, or when the body throws, returns
// `noRecord`. A stop (kind kStop) cuts short the call in progress on the
// handle and goes before the calls waiting for it.
template <typename Result, typename Body>
Result WithRecord(int32_t handle, Result noRecord, Body&& body,
                  HandleLock::Kind kind = HandleLock::Kind::kCall) noexcept {
    return Guarded(noRecord, [&]() -> Result {
        const std::shared_ptr<CAstrelData> record = TheApp().Record(handle);
        if (record == nullptr) return noRecord;
        const HandleLock::Hold hold(record->lock, kind);
        if (record->released) return noRecord;
        return body(*record);
    });
}

// Runs `body(driver, record)` as WithRecord does, for a handle whose record
// has a driver; otherwise returns `noStage`.
template <typename Body>
int32_t WithStage(int32_t handle, int32_t noStage, Body&& body,
                  HandleLock::Kind kind = HandleLock::Kind::kCall) noexcept {
    return WithRecord(
        handle, noStage,
        [&](CAstrelData& record) {
            return record.driver != nullptr ? body(*record.driver, record) : noStage;
        },
        kind);
}

}  // namespace astrel
