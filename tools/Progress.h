// The progress of a moving stage: one line rewritten in place on a terminal,
// plain lines at a steady pace otherwise (a log, a pipe, a test).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "Stage.h"

namespace astrel::tool {

class Progress {
  public:
    // Shows nothing when `out` is null; each line starts with `indent`.
    explicit Progress(std::FILE* out, std::string indent = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The position, the distance still to go (when the target is known) and
    // the state in words.
    void Show(const Xyz& position, std::optional<int64_t> left, const std::string& state);
    // Ends the live line, so that what follows starts on a line of its own.
    void Finish();

  private:
    std::FILE* out_;
    std::string indent_;
    bool live_;
    bool pending_ = false;  // the live line holds text
    std::chrono::steady_clock::time_point lastPlain_{};
    std::string lastState_;
};

}  // namespace astrel::tool
