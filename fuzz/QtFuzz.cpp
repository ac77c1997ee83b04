#include "DriverFuzz.h"
#include "makers/CAstrelQT.h"

namespace {
struct FuzzedQT : CAstrelQT {
    void Read(int16_t number) {
        Reply reply;
        ReadParameter(number, &reply);
    }
};
uint16_t speeds[3];
}  // namespace

// Besides the common operations, the QT driver's own readers of replies:
// parameters and the speed selection.
ASTREL_DRIVER_FUZZER(
    FuzzedQT, 0, [](FuzzedQT& d, uint8_t arg) { d.Read(arg); },
    [](FuzzedQT& d, uint8_t) { d.ReadSpeedSelect(&speeds[0], &speeds[1], &speeds[2]); })
