// Exports of an opened stage's everyday use: status, position, moves, jogs,
// stops, speeds, direction and remote mode. Each finds the handle's driver,
// applies the axis signs where coordinates cross, and returns the driver's
// result unchanged.
#include "Astrel.h"
#include "AxisSigns.h"
#include "CAstrelDLLApp.h"
#include "ExportGuard.h"

using astrel::ApplySign;
using astrel::WithStage;

namespace {

// No-stage results: GetStageStatus answers 7, everything else 0.
constexpr int32_t kNoStageStatus = 7;

}  // namespace

extern "C" {

ASTREL_API int32_t GetStageStatus(int32_t handle) {
    return WithStage(
        __func__, handle, kNoStageStatus,
        [](CAstrelBase& driver, CAstrelData&) {
            const int32_t status = driver.GetStageStatus();
            if (status == CAstrelBase::kStatusNoReply) astrel::MarkFailedResult();
            return status;
        },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

ASTREL_API int32_t RemoteStage(int32_t handle, int32_t mode) {
    return WithStage(__func__, handle, 0,
                     [&](CAstrelBase& driver, CAstrelData&) { return driver.RemoteStage(mode); });
}

ASTREL_API int32_t IsStageRunning(int32_t handle) {
    return WithStage(
        __func__, handle, 0,
        [](CAstrelBase& driver, CAstrelData&) { return driver.IsStageRunning(); },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

ASTREL_API int32_t IsStageRunningEx(int32_t handle, int32_t* running) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData&) {
        if (running == nullptr) {
            astrel::NoteBadArgument("running is null");
            return 0;
        }
        return driver.IsStageRunningEx(running);
    });
}

ASTREL_API int32_t IsStopByLimit(int32_t handle, uint16_t axis) {
    return WithStage(
        __func__, handle, 0,
        [&](CAstrelBase& driver, CAstrelData&) { return driver.IsStopByLimit(axis); },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

ASTREL_API int32_t IsStopByLimitEx(int32_t handle, uint16_t axis, int32_t* atLimit) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData&) {
        if (atLimit == nullptr) {
            astrel::NoteBadArgument("atLimit is null");
            return 0;
        }
        // The driver's 0 is also its answer when it could not ask, or has no
        // such axis: both are noted as failures, which tell them from "not at a limit".
        const int32_t stopped = driver.IsStopByLimit(axis);
        if (astrel::FailedResultMarked() || astrel::FailureNoted()) return 0;
        *atLimit = stopped != 0 ? 1 : 0;
        return 1;
    });
}

ASTREL_API int32_t GetStagePosition(int32_t handle, int32_t* x, int32_t* y, int32_t* z) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData& record) {
        const int32_t result = driver.GetStagePosition(x, y, z);
        // Only a position the driver read is scaled: after a failure the
        // outputs hold what the host left there, untouched.
        if (result != 1) return result;
        if (x != nullptr) *x = ApplySign(*x, record.xSign);
        if (y != nullptr) *y = ApplySign(*y, record.ySign);
        if (z != nullptr) *z = ApplySign(*z, record.zSign);
        return result;
    });
}

ASTREL_API int32_t SetStagePosition(int32_t handle, int32_t x, int32_t y, int32_t z) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData& r) {
        return driver.SetStagePosition(ApplySign(x, r.xSign), ApplySign(y, r.ySign),
                                       ApplySign(z, r.zSign));
    });
}

ASTREL_API int32_t SetOriginNowPos(int32_t handle) {
    return WithStage(__func__, handle, 0, [](CAstrelBase& driver, CAstrelData&) {
        return driver.SetStagePosition(0, 0, 0);
    });
}

ASTREL_API int32_t MoveABS(int32_t handle, int32_t x, int32_t y, int32_t z) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData& r) {
        return driver.MoveABS(ApplySign(x, r.xSign), ApplySign(y, r.ySign), ApplySign(z, r.zSign));
    });
}

ASTREL_API int32_t MoveREL(int32_t handle, int32_t x, int32_t y, int32_t z) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData& r) {
        return driver.MoveREL(ApplySign(x, r.xSign), ApplySign(y, r.ySign), ApplySign(z, r.zSign));
    });
}

ASTREL_API int32_t MoveJOG(int32_t handle, int16_t x, int16_t y, int16_t z) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData& r) {
        return driver.MoveJOG(ApplySign(x, r.xSign), ApplySign(y, r.ySign), ApplySign(z, r.zSign));
    });
}

// Stops cut short a call in progress on the handle and are written at once.
ASTREL_API int32_t StopMove(int32_t handle) {
    return WithStage(
        __func__, handle, 0, [](CAstrelBase& driver, CAstrelData&) { return driver.StopMove(); },
        HandleLock::Kind::kStop);
}

ASTREL_API int32_t StopJOG(int32_t handle) {
    return StopMove(handle);
}

ASTREL_API int32_t StopNow(int32_t handle) {
    return WithStage(
        __func__, handle, 0, [](CAstrelBase& driver, CAstrelData&) { return driver.StopNow(); },
        HandleLock::Kind::kStop);
}

ASTREL_API int32_t MoveOriginPosition(int32_t handle) {
    return WithStage(__func__, handle, 0,
                     [](CAstrelBase& driver, CAstrelData&) { return driver.MoveOriginPosition(); });
}

ASTREL_API int32_t SetMoveSpeeds(int32_t handle, uint16_t axis, int32_t startSpeed,
                                 int32_t maxSpeed, int32_t accelTime) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData&) {
        return driver.SetMoveSpeeds(static_cast<int16_t>(axis), startSpeed, maxSpeed, accelTime);
    });
}

ASTREL_API int32_t StgSetStageDirection(int32_t handle, int32_t axis, int32_t direction) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData&) {
        return driver.SetStageDirection(axis, direction);
    });
}

ASTREL_API int32_t CP310SetStageDirection(int32_t handle, int32_t axis, int32_t direction) {
    return StgSetStageDirection(handle, axis, direction);
}

ASTREL_API int32_t SetAxisSign(int32_t handle, int32_t axis, int16_t sign) {
    return astrel::WithRecord(__func__, handle, 0, [&](CAstrelData& record) {
        if (axis < 0 || axis > 2) {
            astrel::NoteBadArgument("the axis is not 0, 1 or 2");
            return 0;
        }
        int16_t* const signs[] = {&record.xSign, &record.ySign, &record.zSign};
        *signs[axis] = astrel::NormalisedSign(sign);
        return 1;
    });
}

}  // extern "C"
