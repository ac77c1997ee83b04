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

ASTREL_DRIVER_FUZZER(
    FuzzedQT, 0, [](FuzzedQT& d, uint8_t arg) { d.Read(arg); },
    [](FuzzedQT& d, uint8_t) { d.ReadSpeedSelect(&speeds[0], &speeds[1], &speeds[2]); },
    [](FuzzedQT& d, uint8_t arg) { d.WriteParameter(arg, "1,0,1"); },
    [](FuzzedQT& d, uint8_t arg) { d.SetSpeedSelect(arg % 4, arg / 4 % 4, 1); },
    [](FuzzedQT& d, uint8_t arg) { d.MoveABSXY(arg * 1000, -arg); },
    [](FuzzedQT& d, uint8_t arg) { d.SetUseAxisMask(arg); })
