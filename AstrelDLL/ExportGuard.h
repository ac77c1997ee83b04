// Shared shape of the exports: no exception crosses the C interface (a body
// that throws, which only allocation can, returns the export's failure
// value and, for a handle's call, records "out of memory"), and exports that use a handle find its
// record and driver one way, holding the handle's lock for the whole call, and record why a failing
// call failed as the thread's last error.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "CAstrelDLLApp.h"
#include "diag/LastError.h"

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

// How a result equal to the no-record value reads for the thread's last
// error: always a failure, or (for an answer such as "not moving" that shares
// it) a failure only when something went wrong on the way.
enum class Failure { kCertain, kIfNoted };

// The name a failure message gives the port of `record`: its device path
// once the port was opened (or tried), else the handle.
std::string_view PortName(const CAstrelData* record, int32_t handle, char (&scratch)[24]);

// Runs `body(record)` with the handle's lock held, for a valid handle that
// no thread has released; otherwise, or when the body throws, returns
// `noRecord`. A stop (kind kStop) cuts short the call in progress on the
// handle and goes before the calls waiting for it. A failing call, export
// `op`, becomes the thread's last error.
template <typename Result, typename Body>
Result WithRecord(const char* op, int32_t handle, Result noRecord, Body&& body,
                  HandleLock::Kind kind = HandleLock::Kind::kCall,
                  Failure failure = Failure::kCertain) noexcept {
    BeginCall();
    const auto failed = [&](Result result) {
        return FailedResultMarked() ||
               (result == noRecord && (failure == Failure::kCertain || FailureNoted()));
    };
    char scratch[24];
    try {
        const std::shared_ptr<CAstrelData> record = TheApp().Record(handle);
        if (record == nullptr) {
            NoteBadArgument("the handle is not one in use");
            EndCall(op, PortName(nullptr, handle, scratch), true);
            return noRecord;
        }
        const HandleLock::Hold hold(record->lock, kind);
        const Result result = record->released ? noRecord : body(*record);
        if (record->released) NoteBadArgument("the handle was released");
        EndCall(op, PortName(record.get(), handle, scratch), failed(result));
        return result;
    } catch (...) {
        // Only an allocation can throw; the call still ends its error record.
        NoteOutOfMemory();
        EndCall(op, PortName(nullptr, handle, scratch), true);
        return noRecord;
    }
}

// Runs `body(driver, record)` as WithRecord does, for a handle whose record
// has a driver; otherwise returns `noStage` (the port is not open).
template <typename Body>
int32_t WithStage(const char* op, int32_t handle, int32_t noStage, Body&& body,
                  HandleLock::Kind kind = HandleLock::Kind::kCall,
                  Failure failure = Failure::kCertain) noexcept {
    return WithRecord(
        op, handle, noStage,
        [&](CAstrelData& record) {
            if (record.driver != nullptr) return body(*record.driver, record);
            NoteNotOpen();
            return noStage;
        },
        kind, failure);
}

}  // namespace astrel
