#include "DriverFuzz.h"

#include <algorithm>
#include <fstream>

namespace astrel::fuzz {

std::span<const std::string_view> Models(uint16_t makerType) {
    return sim::FindDialectByType(makerType)->models;
}

void WriteSeedsIfAsked(uint16_t makerType, size_t opCount,
                       const std::function<void(size_t, size_t, uint8_t, const Answer&)>& run) {
    const char* dir = std::getenv("ASTREL_FUZZ_SEEDS");
    if (dir == nullptr) return;
    const auto models = Models(makerType);
    for (size_t m = 0; m < models.size(); ++m) {
        for (size_t op = 0; op < opCount; ++op) {
            for (uint8_t state = 0; state < 3; ++state) {  // at rest, moving, at a limit
                sim::ManualSimClock clock;
                auto dialect = sim::FindDialectByType(makerType)->create(models[m], clock);
                sim::MotionModel& motion = dialect->Motion();
                for (int axis = 0; axis < motion.AxisCount(); ++axis) {
                    if (state == 2) motion.SetLimits(axis, -1000, 1000);
                    if (state > 0) motion.MoveTo(axis, 500000);
                }
                clock.Advance(state == 2 ? 600000 : 10);
                std::string seed = {char(m), char(op), char(state)};
                run(m, op, state, [&](const std::string& line) {
                    const std::string reply = dialect->Answer(line).substr(0, 255);
                    seed += char(reply.size()) + reply;
                    return reply;
                });
                std::ofstream(std::string(dir) + "/" + std::to_string(m) + "-" +
                              std::to_string(op) + "-" + std::to_string(state))
                    << seed;
            }
        }
    }
    std::_Exit(0);  // past libFuzzer's exit handler, which takes an exit for a crash
}

}  // namespace astrel::fuzz
