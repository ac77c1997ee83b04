// The traffic trace: every line a port writes and every reply it reads, with
// notes for time-outs, purged bytes and interrupted waits, for finding out
// why a stage misbehaves. ASTREL_TRACE=stderr or ASTREL_TRACE=/path/file
// turns it on for the ports opened while it is set. Each trace line is built
// whole and written with one call under a process-wide lock, so lines of
// several threads and handles never mix.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace astrel {

class Trace {
  public:
    // The trace ASTREL_TRACE names now; null when it is unset or empty, or
    // its file cannot be opened for appending.
    static std::unique_ptr<Trace> FromEnvironment();
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Writes "HH:MM:SS.mmm handle H PORT DIR "BYTES" (NOTE)": `direction` is
    // "->" for bytes written, "<-" for bytes read, "--" for bytes dropped;
    // an empty note is left out. Times are UTC.
    void Line(int32_t handle, std::string_view port, const char* direction, std::string_view bytes,
              std::string_view note);

  private:
    Trace(std::FILE* file, bool owned) : file_(file), owned_(owned) {}

    std::FILE* file_;
    bool owned_;
};

}  // namespace astrel
