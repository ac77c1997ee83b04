// Exports that only one maker's stages answer: axis assignment on QT stages
// and the trigger output of Sigma stages. A stage of another maker (by the
// stored maker type or by its driver's class) gets 1 and nothing is sent.
#include "Astrel.h"
#include "CAstrelDLLApp.h"
#include "DriverFactory.h"
#include "ExportGuard.h"
#include "makers/CAstrelQT.h"
#include "makers/CAstrelSigma.h"

namespace {

// Runs `call` on the handle's driver when both the stored maker type and the
// driver's class (the factory's class of that maker) are the maker's; 1 for a
// stage of another maker; 0 without a stage.
template <typename Call>
int32_t ForMaker(const char* op, int32_t handle, int16_t maker, Call call) {
    return astrel::WithStage(op, handle, 0, [&](CAstrelBase& driver, CAstrelData& record) {
        if (record.makerType != maker || !astrel::IsDriverOfMaker(driver, maker)) return 1;
        return call(driver) != 0 ? 1 : 0;
    });
}

// The trigger operations of a Sigma stage.
template <typename Call>
int32_t ForSigma(const char* op, int32_t handle, Call call) {
    return ForMaker(op, handle, astrel::kMakerSigma, [&](CAstrelBase& driver) {
        // The gate has checked that the driver is of the Sigma class.
        return call(static_cast<CAstrelSigma&>(driver));
    });
}

}  // namespace

extern "C" {

ASTREL_API int32_t SetAxisNum(int32_t handle, uint16_t x, uint16_t y, uint16_t z) {
    return ForMaker(__func__, handle, astrel::kMakerQT, [&](CAstrelBase& driver) {
        // The gate has checked that the driver is of the QT class.
        return static_cast<CAstrelQT&>(driver).SetAxisNum(x, y, z);
    });
}

ASTREL_API int32_t SetTrigger(int32_t handle, int16_t first, int32_t second) {
    return ForSigma(__func__, handle,
                    [&](CAstrelSigma& driver) { return driver.SetTrigger(first, second); });
}

ASTREL_API int32_t OnceTrigger(int32_t handle) {
    return ForSigma(__func__, handle, [](CAstrelSigma& driver) { return driver.OnceTrigger(); });
}

ASTREL_API int32_t StopTrigger(int32_t handle) {
    return ForSigma(__func__, handle, [](CAstrelSigma& driver) { return driver.StopTrigger(); });
}

ASTREL_API int32_t GetTriggerRange(int32_t handle, int32_t* lower, int32_t* upper) {
    return ForSigma(__func__, handle, [&](CAstrelSigma& driver) {
        // Both bounds are written or neither: a null output is a failure.
        if (lower == nullptr || upper == nullptr) {
            astrel::NoteBadArgument("lower or upper is null");
            return 0;
        }
        return driver.GetTriggerRange(lower, upper);
    });
}

}  // extern "C"
