#include "DriverFuzz.h"
#include "makers/CAstrelPrior.h"

ASTREL_DRIVER_FUZZER(CAstrelPrior, 1)
