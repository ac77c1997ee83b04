// Exports that only one maker's stages answer: axis assignment on QT stages
// and the trigger output of Sigma stages. A stage of another maker (by the
// stored maker type or by its driver's class) gets 1 and nothing is sent.
#include "Astrel.h"
#include "CAstrelDLLApp.h"
#include "DriverFactory.h"
#include "ExportGuard.h"
#include "makers/CAstrelQT.h"

namespace {

// Runs `call` on the handle's driver when both the stored maker type and the
// driver's class are the maker's; 1 for a stage of another maker; 0 without a stage.
template <typename Driver, typename Call>
int32_t ForMaker(int32_t handle, int16_t maker, Call call) {
    return astrel::WithStage(handle, 0, [&](CAstrelBase& base, CAstrelData& record) {
        auto* driver = dynamic_cast<Driver*>(&base);
        if (record.makerType != maker || driver == nullptr) return 1;
        return call(*driver) != 0 ? 1 : 0;
    });
}

// Trigger exports until a Sigma driver exists: no driver is of its class, so
// every stage counts as another maker's.
int32_t NotSigma(int32_t handle) {
    return astrel::WithStage(handle, 0, [](CAstrelBase&, CAstrelData&) { return 1; });
}

}  // namespace

extern "C" {

ASTREL_API int32_t SetAxisNum(int32_t handle, uint16_t x, uint16_t y, uint16_t z) {
    return ForMaker<CAstrelQT>(handle, astrel::kMakerQT,
                               [&](CAstrelQT& qt) { return qt.SetAxisNum(x, y, z); });
}

ASTREL_API int32_t SetTrigger(int32_t handle, int16_t /*first*/, int32_t /*second*/) {
    return NotSigma(handle);
}

ASTREL_API int32_t OnceTrigger(int32_t handle) {
    return NotSigma(handle);
}

ASTREL_API int32_t StopTrigger(int32_t handle) {
    return NotSigma(handle);
}

ASTREL_API int32_t GetTriggerRange(int32_t handle, int32_t* /*lower*/, int32_t* /*upper*/) {
    return NotSigma(handle);
}

}  // extern "C"
