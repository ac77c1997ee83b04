#include "DriverFuzz.h"
#include "makers/CAstrelSuruga.h"

ASTREL_DRIVER_FUZZER(CAstrelSuruga, 2)
