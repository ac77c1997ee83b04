#include "driver/CAstrelData.h"

// The driver goes first: destroying it closes its port.
CAstrelData::~CAstrelData() {
    driver.reset();
}
