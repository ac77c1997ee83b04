#include "DriverFuzz.h"
#include "makers/CAstrelCP310.h"

ASTREL_DRIVER_FUZZER(CAstrelCP310, 6)
