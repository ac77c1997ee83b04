#include "AxisSpeeds.h"

namespace astrel::tool {

void AxisSpeeds::Set(int axis, const Speeds& speeds) {
    const std::lock_guard lock(mutex_);
    set_.at(static_cast<size_t>(axis)) = speeds;
}

void AxisSpeeds::Forget() {
    const std::lock_guard lock(mutex_);
    set_ = {};
    back_.clear();
}

std::pair<std::vector<AxisSpeeds::Setting>, std::string> AxisSpeeds::ForJog(const Xyz& directions,
                                                                            int32_t speed,
                                                                            bool keep) {
    const std::lock_guard lock(mutex_);
    std::vector<Setting> settings;
    for (size_t axis = 0; axis < directions.size(); ++axis) {
        if (directions[axis] == 0) continue;
        if (!set_[axis]) {
            return {{},
                    "set the speeds of " + std::string(1, "XYZ"[axis]) +
                        " once first: a jog speed needs its start speed and acceleration, "
                        "which the controller cannot be asked for"};
        }
        settings.push_back({static_cast<int>(axis), {set_[axis]->start, speed, set_[axis]->accel}});
    }
    for (const auto& [axis, speeds] : settings) {
        if (keep) back_.push_back({axis, *set_[static_cast<size_t>(axis)]});
    }
    return {settings, {}};
}

std::vector<AxisSpeeds::Setting> AxisSpeeds::TakeBack() {
    const std::lock_guard lock(mutex_);
    return std::exchange(back_, {});
}

}  // namespace astrel::tool
