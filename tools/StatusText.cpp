#include "StatusText.h"

namespace astrel::tool {

namespace {

// Codes 2, 3 and 5 as each maker's controllers give them.
struct MakerStatus {
    int16_t makerType;
    int32_t status;
    const char* meaning;
};

constexpr MakerStatus kMakerStatuses[] = {
    {0, 2, "an axis is marked E by the controller"},
    {0, 3, "an axis is marked H by the controller"},
    {0, 5, "an axis is marked C by the controller"},
    {4, 3, "an axis is not ready (status bit 2 clear)"},
    {6, 2, "the controller reports state I"},
};

}  // namespace

std::string StatusMeaning(int16_t makerType, int32_t status) {
    switch (status) {
        case 0:
            return "at rest";
        case 1:
            return "moving";
        case 4:
            return "stopped at a limit";
        case 6:
            return "no usable reply from the controller";
        case 7:
            return "the controller reports an error or a state the driver does not know";
        default:
            break;
    }
    for (const MakerStatus& row : kMakerStatuses) {
        if (row.makerType == makerType && row.status == status) return row.meaning;
    }
    return "maker-specific state " + std::to_string(status);
}

}  // namespace astrel::tool
