// Serves one simulated controller on a pseudo-terminal, so that a host (the
// library, a tool, a test) opens a real terminal device and talks to it as to
// a controller on a serial line; or on a TCP port, as a controller behind a
// network serial server (one host connection at a time; a host that
// disconnects may connect again). A background thread reads the host's bytes,
// splits them into lines at CR or LF (empty lines are skipped), hands each
// line to the simulator and writes the reply, carrying out the fault the
// simulator is set to show. The thread blocks in poll and stops when the
// runner is destroyed.
//
// Like a controller on a serial line, the runner hears only a host that runs
// the line as the controller does: before serving a line it reads the line
// settings the host set on the terminal (they belong to the terminal, so the
// runner's own descriptor sees them) and compares what a pseudo-terminal
// keeps: speed, stop bits, parity checking and flow control (it always
// reports eight data bits). Lines are then cut at the controller's own line
// end; a line sent at other settings or ended otherwise is noise, neither
// carried out nor answered. Tests that drive the terminal by hand at other
// settings switch the check off, and any CR or LF then ends a line. Over TCP
// the server runs the line, so only the line end is checked.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "Simulator.h"

namespace astrel::sim {

// Where a runner serves over TCP: a numeric IPv4 address, and a port (0:
// any free one; SlavePath then names the port it got).
struct TcpEndpoint {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
};

class PtySimulator {
  public:
    // Called on the serving thread with each command line from the host
    // (fromHost true, without its line end) and each piece of bytes the
    // controller writes (fromHost false).
    using Trace = std::function<void(bool fromHost, std::string_view text)>;

    // Opens the pseudo-terminal in raw mode and starts serving. Throws
    // std::runtime_error when the system refuses.
    explicit PtySimulator(std::unique_ptr<Dialect> dialect, Trace trace = {});
    // Listens on `endpoint` instead and starts serving.
    PtySimulator(std::unique_ptr<Dialect> dialect, Trace trace, const TcpEndpoint& endpoint);
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // The terminal device a host opens ("socket://HOST:PORT" over TCP). The
    // runner keeps it open itself, so a host may close and reopen it without
    // the line hanging up.
    const std::string& SlavePath() const { return slavePath_; }
    // The runner's own descriptor of that device, for reading its line settings (-1 over TCP).
    int SlaveFd() const { return slave_; }
    // On by default; see above. Takes effect from the next byte the host sends.
    void CheckLineSettings(bool on) { checkLine_ = on; }
    // Makes `path` a symbolic link to the device, removed with the runner.
    // False when the link cannot be made (or one was made already).
    bool LinkAs(const std::string& path);

    // Runs `f` with the simulator (its dialect, stage and fault) while no
    // command is being served, and returns what `f` returns.
    template <class F>
    decltype(auto) With(F&& f) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(f)(simulator_);
    }

  private:
    void Start();
    void Serve();
    // Over TCP, with no host connected: waits for one; false when serving is over.
    bool AwaitHost();
    // The host's end went away (its connection is closed over TCP); whether
    // serving goes on (over TCP, for the next host).
    bool HostGone();
    // Serves one command line; false when serving is over.
    bool Handle(const std::string& line, Response& stream);
    // Whether the host's line settings are the controller's.
    bool HostAtLineSettings(const LineSettings& settings) const;
    // Writes `bytes`, waiting at most `boundMs` for a host that does not read
    // (what is left then is dropped); false when serving is over.
    bool Write(std::string_view bytes, int boundMs);
    // Writes the late replies that are due; false when serving is over.
    bool WriteDueReplies();
    void CloseDescriptors();

    Simulator simulator_;
    std::mutex mutex_;
    const Trace trace_;
    const LineSettings settings_;  // the controller's
    std::atomic<bool> checkLine_ = true;
    int master_ = -1;
    int slave_ = -1;
    int stop_ = -1;     // an eventfd that ends serving
    int listen_ = -1;   // over TCP: the listening socket (master_ is the host's connection)
    bool tcp_ = false;  // served over TCP instead of a pseudo-terminal
    std::string slavePath_;
    std::string link_;
    std::thread thread_;
    // Replies that come late (FaultSettings::delayMs), each with the time it
    // is due, in order. A line that comes meanwhile is heard at once, as a
    // controller's receiver takes it while the controller is busy, and
    // answered in its turn.
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::string>> lateReplies_;
};

}  // namespace astrel::sim
