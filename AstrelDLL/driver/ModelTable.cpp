#include "driver/ModelTable.h"

namespace astrel {

int32_t ListUnit(const char* unit, int16_t count, int16_t index, char* name) {
    if (index < 0 || index >= count) return 0;
    CopyText(unit, name);
    return 1;
}

}  // namespace astrel
