#include "DriverFuzz.h"
#include "makers/CAstrelHirox.h"

ASTREL_DRIVER_FUZZER(CAstrelHirox, 4)
