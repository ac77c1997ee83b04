// The speeds the panel set on each axis of its stage, and the maximum speeds
// a jog at its own speed changed for a while. A controller cannot be asked
// for its speeds, so a jog speed needs an axis's start speed and
// acceleration as the page last set them, and the speeds are set back when
// the jog ends.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Stage.h"

namespace astrel::tool {

struct Speeds {
    int32_t start = 0;
    int32_t max = 0;
    int32_t accel = 0;
};

class AxisSpeeds {
  public:
    using Setting = std::pair<int, Speeds>;  // an axis and the speeds to set on it

    void Set(int axis, const Speeds& speeds);
    // A new stage: nothing is known of its speeds.
    void Forget();
    // The axes a jog of `directions` at `speed` needs, with their speeds,
    // the jog speed as the maximum; or the axis whose speeds are not known,
    // in words. With `keep`, the speeds to set back afterwards are kept.
    std::pair<std::vector<Setting>, std::string> ForJog(const Xyz& directions, int32_t speed,
                                                        bool keep);
    // The speeds a jog changed, to set back now; empty when none did.
    std::vector<Setting> TakeBack();

  private:
    mutable std::mutex mutex_;
    std::array<std::optional<Speeds>, 3> set_;
    std::vector<Setting> back_;
};

}  // namespace astrel::tool
