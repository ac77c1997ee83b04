// A simulated controller: a dialect and the fault it is set to show. The
// faults that shape reply bytes (silence, garbage, half lines) are applied
// here, so in-memory tests see them too; the ones that need time or a real
// line (delay, endless lines, hang-up) come out as instructions in Response,
// which the pseudo-terminal runner carries out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Dialect.h"

namespace astrel::sim {

enum class Fault {
    kNone,
    kSilent,             // commands are carried out, but nothing is answered
    kGarbage,            // each reply line becomes "?#!" and the line end
    kDelayed,            // replies come after FaultSettings::delayMs
    kHalfLine,           // only the first half of each reply, without its line end
    kEndlessShortLines,  // after each reply, short lines keep coming until the next command
    kHangUp,             // the controller's end closes when the next command arrives
    kLate,               // replies come after lateMs, and lateMs after each command is
                         // served the last line answered so far comes once more
};

struct FaultSettings {
    Fault fault = Fault::kNone;
    uint32_t delayMs = 500;        // kDelayed
    uint32_t intervalMs = 5;       // kEndlessShortLines: time between two lines
    std::string shortLine = "OK";  // kEndlessShortLines: each line's text, before the line end
    uint32_t lateMs = 5;           // kLate
};

// What the controller does about one command line.
struct Response {
    std::string bytes;  // written once, after delayMs
    uint32_t delayMs = 0;
    bool hangUp = false;     // close the line instead (bytes is then empty)
    std::string repeatLine;  // written every repeatMs until the next command; empty: none
    uint32_t repeatMs = 0;
    // Written once lateMs after bytes, unless the host sends something first:
    // a line that comes late is one the host can drop before its next
    // command, never one that lands inside the next exchange. Empty: none.
    std::string lateLine;
    uint32_t lateMs = 0;
};

inline constexpr std::string_view kGarbageLine = "?#!";

class Simulator {
  public:
    explicit Simulator(std::unique_ptr<Dialect> dialect) : dialect_(std::move(dialect)) {}

    Dialect& GetDialect() { return *dialect_; }
    const FaultSettings& GetFault() const { return fault_; }
    void SetFault(FaultSettings fault) { fault_ = std::move(fault); }

    Response Respond(std::string_view line);
    // The reply bytes alone, for in-memory use.
    std::string Answer(std::string_view line) { return Respond(line).bytes; }

  private:
    std::string Shape(std::string reply) const;

    std::unique_ptr<Dialect> dialect_;
    FaultSettings fault_;
    std::string lastLine_;  // the last reply line written, with its line end
};

}  // namespace astrel::sim
