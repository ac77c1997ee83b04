// Fuzzing a maker's driver through the in-memory device. An input picks a
// model of the maker's simulator, an operation and its argument byte; the
// rest is the controller's side: each line the driver writes is answered by
// the next chunk (a length byte, then that many bytes), and by silence once
// the input runs out. The fake clock makes every time-out instant.
//
// With ASTREL_FUZZ_SEEDS=DIR set, the target instead writes to DIR one input
// per model, operation and stage state (at rest, moving, at a limit), each
// holding the simulator's real replies, and exits: the seed corpus.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Dialects.h"
#include "FakeSerialDevice.h"

namespace astrel::fuzz {

template <typename Driver>
using Op = std::function<void(Driver&, uint8_t arg)>;
using Answer = std::function<std::string(const std::string& line)>;

// Every operation of the common driver interface, each reading whatever the
// controller answers; `extras` are the maker's own.
template <typename Driver>
std::vector<Op<Driver>> WithCommonOps(std::vector<Op<Driver>> extras) {
    int32_t a = 0, b = 0, c = 0;
    uint32_t v = 0;
    std::vector<Op<Driver>> ops = {
        [](Driver& d, uint8_t) { d.GetStageStatus(); },
        [](Driver& d, uint8_t) { d.IsStageRunning(); },
        [=](Driver& d, uint8_t) mutable { d.IsStageRunningEx(&a); },
        [](Driver& d, uint8_t arg) { d.IsStopByLimit(arg % 4 == 3 ? 0xFFFF : arg % 4); },
        [=](Driver& d, uint8_t) mutable { d.GetStagePosition(&a, &b, &c); },
        [](Driver& d, uint8_t arg) { d.MoveABS(arg * 1000, -arg, arg); },
        [](Driver& d, uint8_t arg) { d.MoveREL(-arg, arg * 1000, arg); },
        [](Driver& d, uint8_t arg) { d.MoveJOG(arg % 3 - 1, arg / 3 % 3 - 1, arg / 9 % 3 - 1); },
        [](Driver& d, uint8_t) { d.MoveOriginPosition(); },
        [](Driver& d, uint8_t) { d.StopMove(); },
        [](Driver& d, uint8_t) { d.StopNow(); },
        [](Driver& d, uint8_t arg) { d.SetStagePosition(arg, -arg, arg * 1000); },
        [](Driver& d, uint8_t arg) { d.SetMoveSpeeds(arg % 4, 100, 1000 * arg, 50); },
        [](Driver& d, uint8_t arg) { d.RemoteStage(arg & 1); },
        [](Driver& d, uint8_t arg) { d.SetAxisSpeedParam(arg % 4, 100, 1000, arg); },
        [](Driver& d, uint8_t arg) { d.SetStageDirection(arg % 4, arg / 4 % 2); },
        [](Driver& d, uint8_t) { d.InitializeStage(); },
        [=](Driver& d, uint8_t arg) mutable { d.GetFunctionProperty(arg % 8, &v); },
    };
    ops.insert(ops.end(), extras.begin(), extras.end());
    return ops;
}

// Runs `op` on a fresh driver of `model` on an open in-memory port.
template <typename Driver>
void Exercise(std::string_view model, const Op<Driver>& op, uint8_t arg, const Answer& answer) {
    test::FakeRig rig;  // outlives the driver, which keeps its clock
    Driver driver;
    if (rig.Open(driver, std::string(model).c_str()) != 1) std::abort();
    rig.line->responder = [&](const std::string& line) { rig.line->Queue(answer(line)); };
    op(driver, arg);
}

std::span<const std::string_view> Models(uint16_t makerType);
// Writes the seed corpus when ASTREL_FUZZ_SEEDS names a folder, then exits.
void WriteSeedsIfAsked(
    uint16_t makerType, size_t opCount,
    const std::function<void(size_t model, size_t op, uint8_t arg, const Answer&)>& run);

template <typename Driver>
int FuzzDriver(uint16_t makerType, const std::vector<Op<Driver>>& ops, const uint8_t* data,
               size_t size) {
    const auto models = Models(makerType);
    WriteSeedsIfAsked(makerType, ops.size(), [&](size_t m, size_t o, uint8_t arg, const Answer& a) {
        Exercise<Driver>(models[m], ops[o], arg, a);
    });
    if (size < 3) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
    Exercise<Driver>(models[data[0] % models.size()], ops[data[1] % ops.size()], data[2],
                     [&](const std::string&) {
                         if (rest.empty()) return std::string();
                         const size_t n = std::min<size_t>(uint8_t(rest[0]), rest.size() - 1);
                         std::string chunk(rest.substr(1, n));
                         rest.remove_prefix(n + 1);
                         return chunk;
                     });
    return 0;
}

}  // namespace astrel::fuzz

// The libFuzzer entry of the target for `Driver`, with the maker's own operations.
#define ASTREL_DRIVER_FUZZER(Driver, makerType, ...)                                \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {       \
        static const auto ops = astrel::fuzz::WithCommonOps<Driver>({__VA_ARGS__}); \
        return astrel::fuzz::FuzzDriver<Driver>(makerType, ops, data, size);        \
    }
