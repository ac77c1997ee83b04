#include "ExportGuard.h"

#include <cstdio>

namespace astrel {

std::string_view PortName(const CAstrelData* record, int32_t handle, char (&scratch)[24]) {
    if (record != nullptr && record->driver != nullptr && !record->driver->DevicePath().empty()) {
        return record->driver->DevicePath();
    }
    std::snprintf(scratch, sizeof scratch, "handle %d", static_cast<int>(handle));
    return scratch;
}

}  // namespace astrel
