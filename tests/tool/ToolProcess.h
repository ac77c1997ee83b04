// The astrel tool run as a child process, as a person or a script runs it:
// its standard output and error are collected, it can be sent signals, and
// it is killed if it outlives the time a test gives it. Another program on the
// PATH, a client a test talks to the tool through, runs the same way.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace astrel::test {

struct ToolRun {
    int exitCode = -1;  // the exit status; -1 when a signal or the time-out ended the tool
    std::string out;
    std::string err;
};

class ToolProcess {
  public:
    explicit ToolProcess(const std::vector<std::string>& args,
                         const char* program = ASTREL_TOOL_PATH);
    ~ToolProcess() { Finish(0); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Reads standard output until `text` is in it (empty: until it ends) or
    // `ms` have passed; true when `text` came.
    bool WaitForOutput(std::string_view text, int ms);
    const std::string& Out() const { return run_.out; }
    void Signal(int signal) const;
    // Waits at most `ms` for the tool to end, then kills it.
    ToolRun Finish(int ms);

  private:
    struct Fd {  // a descriptor, closed with its owner
        int fd = -1;
        ~Fd();
    };
    Fd out_, err_, ended_;
    pid_t pid_ = -1;
    ToolRun run_;
};

// Runs the tool to its end, at most `ms`.
ToolRun RunTool(const std::vector<std::string>& args, int ms = 20000);

}  // namespace astrel::test
