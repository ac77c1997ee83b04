// A simulated controller served on a pseudo-terminal that a port index names,
// for tests of the library: the stage can be inspected and steered with
// With(), and every command line it received is kept. Nothing here calls the
// library, so a test that loads the library itself can use it too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "PtySimulator.h"
#include "SimClock.h"

namespace astrel::test {

// Points port index `portIndex` (COM portIndex+1) at `path`.
void PointPort(int portIndex, const std::string& path);
// The descriptors this process has open.
std::set<int> OpenDescriptors();
// How many of this process's descriptors are open on `path`.
int OpenDescriptorsOn(const std::string& path);

// A simulated controller of `model` (maker type `makerType`) on a
// pseudo-terminal that port index `portIndex` names, or with `overTcp` on a
// free TCP port of the loopback address (the port names socket://127.0.0.1:PORT).
class SimController {
  public:
    SimController(uint16_t makerType, const char* model, int portIndex = 0, bool overTcp = false);

    template <class F>
    decltype(auto) With(F&& f) {
        return runner_->With(std::forward<F>(f));
    }
    void SetFault(sim::Fault fault);
    // The command lines the controller has received.
    std::vector<std::string> Heard();
    // Waits up to `ms` until the controller has received `count` lines; true when it has.
    bool WaitHeard(size_t count, int ms = 2000);
    // Waits up to `ms` until the controller has received, after its first
    // `from` lines, one that is not `unlike`; true when it has.
    bool WaitHeardOther(size_t from, const std::string& unlike, int ms = 2000);
    // Waits up to `ms` until `line` is among the lines received from the
    // `from`th on (0 is the first); true when it is.
    bool WaitHeardLine(std::string_view line, size_t from, int ms = 2000);
    size_t HeardCount();
    const std::string& Path() const { return runner_->SlavePath(); }
    int SlaveFd() const { return runner_->SlaveFd(); }

  private:
    // Waits up to `ms` until `heard()` holds of the lines received; true when it does.
    template <class Heard>
    bool WaitFor(int ms, Heard heard) {
        std::unique_lock lock(mutex_);
        return heardMore_.wait_for(lock, std::chrono::milliseconds(ms), heard);
    }

    sim::SteadySimClock clock_;
    std::mutex mutex_;
    std::condition_variable heardMore_;
    std::vector<std::string> heard_;
    std::unique_ptr<sim::PtySimulator> runner_;
};

}  // namespace astrel::test
