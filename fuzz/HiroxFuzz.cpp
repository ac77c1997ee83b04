#include "DriverFuzz.h"
#include "makers/CAstrelHirox.h"

ASTREL_DRIVER_FUZZER(
    CAstrelHirox, 4,
    [](CAstrelHirox& d, uint8_t arg) {
        astrel::hirox::AxisStatus status;
        d.QueryAxisStatus(arg % 4, status);
    },
    [](CAstrelHirox& d, uint8_t arg) { d.GetAxisStatus(arg % 4); })
