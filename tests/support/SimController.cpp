#include "SimController.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include "Dialects.h"

namespace astrel::test {

void PointPort(int portIndex, const std::string& path) {
    ::setenv(("ASTREL_COM" + std::to_string(portIndex + 1)).c_str(), path.c_str(), 1);
}

std::set<int> OpenDescriptors() {
    std::set<int> open;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return open;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') open.insert(std::atoi(entry->d_name));
    }
    open.erase(::dirfd(dir));
    ::closedir(dir);
    return open;
}

int OpenDescriptorsOn(const std::string& path) {
    int count = 0;
    for (const int fd : OpenDescriptors()) {
        char target[PATH_MAX] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target) ++count;
    }
    return count;
}

SimController::SimController(uint16_t makerType, const char* model, int portIndex, bool overTcp) {
    const sim::DialectInfo* maker = sim::FindDialectByType(makerType);
    std::unique_ptr<sim::Dialect> dialect =
        maker != nullptr ? maker->create(model, clock_) : nullptr;
    if (dialect == nullptr) throw std::invalid_argument("no simulator for this model");
    sim::PtySimulator::Trace heard = [this](bool fromHost, std::string_view text) {
        if (!fromHost) return;
        {
            std::lock_guard lock(mutex_);
            heard_.emplace_back(text);
        }
        heardMore_.notify_all();
    };
    runner_ = overTcp ? std::make_unique<sim::PtySimulator>(std::move(dialect), std::move(heard),
                                                            sim::TcpEndpoint{})
                      : std::make_unique<sim::PtySimulator>(std::move(dialect), std::move(heard));
    PointPort(portIndex, runner_->SlavePath());
}

void SimController::SetFault(sim::Fault fault) {
    With([fault](sim::Simulator& s) { s.SetFault({fault}); });
}

std::vector<std::string> SimController::Heard() {
    std::lock_guard lock(mutex_);
    return heard_;
}

bool SimController::WaitHeard(size_t count, int ms) {
    return WaitFor(ms, [&] { return heard_.size() >= count; });
}

bool SimController::WaitHeardOther(size_t from, const std::string& unlike, int ms) {
    return WaitFor(ms, [&] {
        return std::any_of(
            heard_.begin() + static_cast<std::ptrdiff_t>(std::min(from, heard_.size())),
            heard_.end(), [&](const std::string& line) { return line != unlike; });
    });
}

bool SimController::WaitHeardLine(std::string_view line, size_t from, int ms) {
    return WaitFor(ms, [&] {
        return from < heard_.size() && std::find(heard_.begin() + static_cast<std::ptrdiff_t>(from),
                                                 heard_.end(), line) != heard_.end();
    });
}

size_t SimController::HeardCount() {
    std::lock_guard lock(mutex_);
    return heard_.size();
}

}  // namespace astrel::test
