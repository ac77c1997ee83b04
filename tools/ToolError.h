// The tool's exit codes, and the error a command throws to end with one.
#pragma once

#include <stdexcept>
#include <string>

namespace astrel::tool {

enum class Exit : int {
    kOk = 0,
    kDisagreed = 1,        // the demo: a session did not go as expected
    kUsage = 2,            // bad arguments, unknown maker or model
    kNoPort = 3,           // the port (or the simulator's link) could not be opened
    kNoReply = 4,          // no usable reply from the controller within the time-out
    kRefused = 5,          // a command was not written, or was refused
    kAtLimit = 6,          // the stage stopped at a limit
    kControllerError = 7,  // an error or a state the tool does not know
    kStillMoving = 8,      // still moving when the wait ran out; a stop was sent
};

// A signal ends the tool with 128 plus its number, as shells report it.
constexpr int kSignalExitBase = 128;

// The text `astrel --help` shows under its options.
extern const char* const kExitCodeHelp;

class ToolError : public std::runtime_error {
  public:
    ToolError(Exit code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int Code() const { return static_cast<int>(code_); }

  private:
    Exit code_;
};

// Ended by a signal (SIGINT, SIGTERM, SIGHUP), after any stop the stage needed was sent.
class Interrupted : public std::runtime_error {
  public:
    Interrupted(int signal, const std::string& message)
        : std::runtime_error(message), signal_(signal) {}
    int Code() const { return kSignalExitBase + signal_; }

  private:
    int signal_;
};

}  // namespace astrel::tool
