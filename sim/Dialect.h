// One controller's command language, spoken from the controller's side: a
// command line in, the exact bytes the controller writes back out. A dialect
// owns the motion of its simulated stage.
#pragma once

#include <string>
#include <string_view>

#include "LineSettings.h"
#include "MotionModel.h"

namespace astrel::sim {

class Dialect {
  public:
    virtual ~Dialect() = default;

    // Carries out one command line (given without its line end) and returns
    // the reply lines with their line ends; empty when the controller answers
    // nothing.
    virtual std::string Answer(std::string_view line) = 0;
    // What ends each reply line this controller writes.
    virtual std::string_view LineEnd() const = 0;
    // The line settings the controller runs with, and how it expects the
    // host to end its command lines.
    virtual LineSettings Line() const = 0;
    // The simulated stage, for tests and tools that inspect or steer it.
    virtual MotionModel& Motion() = 0;
};

}  // namespace astrel::sim
