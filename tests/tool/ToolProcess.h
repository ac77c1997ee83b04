// The astrel tool run as a child process, as a person or a script runs it:
// its standard output and error are collected, it can be sent signals, and
// it is killed if it outlives the time a test gives it.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace astrel::test {

struct ToolRun {
    int exitCode = -1;  // the exit status, 128 + the signal that ended it, or -1 when killed
    std::string out;
    std::string err;
};

class ToolProcess {
  public:
    explicit ToolProcess(const std::vector<std::string>& args);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Collects output until `text` is on its standard output or `ms` have
    // passed; true when it is there.
    bool WaitForOutput(std::string_view text, int ms);
    // What it wrote on its standard output so far.
    const std::string& Out() const { return run_.out; }
    void Signal(int signal);
    // Waits at most `ms` for the tool to end, then kills it.
    ToolRun Finish(int ms);

  private:
    // Reads what the tool writes for up to `ms`, or until both streams end.
    void Collect(int ms);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    ToolRun run_;
};

// Runs the tool to its end, at most `ms`.
ToolRun RunTool(const std::vector<std::string>& args, int ms = 20000);

}  // namespace astrel::test
