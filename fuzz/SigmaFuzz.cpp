#include "DriverFuzz.h"
#include "makers/CAstrelSigma.h"

ASTREL_DRIVER_FUZZER(CAstrelSigma, 3)
