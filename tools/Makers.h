// What the library's catalogue lists (makers, their models with axis counts,
// unit names) and the simulated controllers there are, found by the maker
// type number, the catalogue name or the simulator's short name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace astrel::sim {
struct DialectInfo;
class Dialect;
class SimClock;
}  // namespace astrel::sim

namespace astrel::tool {

struct MakerEntry {
    int16_t type;
    std::string name;       // UTF-8; empty when the library does not list the maker
    std::string shortName;  // the simulator's ASCII name; empty when there is none
};

struct ModelEntry {
    std::string name;
    int32_t axes;
};

// The makers the library lists, then any other maker a simulator speaks for.
std::vector<MakerEntry> AllMakers();

// The maker type that `text` names: a number, a listed name or a simulator's
// short name (ASCII case ignored). Throws a usage error when none matches.
int16_t ResolveMaker(const std::string& text);

// The simulated controllers of a maker type, or null when there are none.
const sim::DialectInfo* SimulatorOf(int16_t type);

// A simulated controller of `model` (any ASCII case; set to the simulator's
// own spelling) of maker `type`, on `clock`. Throws a usage error when the
// maker has no simulator or the simulator no such model (naming its models).
std::unique_ptr<sim::Dialect> SimulatedController(int16_t type, std::string& model,
                                                  sim::SimClock& clock);

// The maker's name for messages: its listed name, else its short name, else
// "maker type N".
std::string MakerName(int16_t type);

// The models the library lists for a maker, in its order; empty when it lists none.
std::vector<ModelEntry> ListedModels(int16_t type);

// The models of a maker with their axis counts: the library's list, or for a
// maker the library does not list, the models its simulator serves.
std::vector<ModelEntry> KnownModels(int16_t type);

// The distinct speed and acceleration unit names the library lists for a maker.
std::vector<std::string> SpeedUnits(int16_t type);
std::vector<std::string> AccelerationUnits(int16_t type);

// Why speeds for SetMoveSpeeds lie outside what the maker's units allow, in
// words; empty when they are within. A unit that names a range ("1-100")
// bounds its values; every value is 0 or more.
std::string SpeedRangeError(int16_t type, int32_t start, int32_t max, int32_t accel);

}  // namespace astrel::tool
