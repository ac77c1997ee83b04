#include "DriverFuzz.h"
#include "makers/CAstrelSigma.h"

namespace {
int32_t range[2];
}  // namespace

ASTREL_DRIVER_FUZZER(
    CAstrelSigma, 3, [](CAstrelSigma& d, uint8_t arg) { d.SetTrigger(arg, arg * 100); },
    [](CAstrelSigma& d, uint8_t) { d.OnceTrigger(); },
    [](CAstrelSigma& d, uint8_t) { d.StopTrigger(); },
    [](CAstrelSigma& d, uint8_t) { d.GetTriggerRange(&range[0], &range[1]); })
