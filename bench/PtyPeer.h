// The controller's end of a pseudo-terminal for the bench: one thread that
// answers each command line (cut at CR or LF) with the bytes `answer` gave
// for that line the first time, so that the peer costs each exchange as
// little as it can. The library and the bare loop open the same terminal in
// turn, so both meet the same thread.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace astrel::bench {

class PtyPeer {
  public:
    using Answer = std::function<std::string(const std::string& line)>;

    explicit PtyPeer(Answer answer);
    ~PtyPeer();

    const std::string& Path() const { return path_; }
    // The lines heard since the last call.
    std::vector<std::string> TakeHeard();
    // The bytes the peer answers `line` with.
    std::string ReplyTo(const std::string& line);

  private:
    void Serve();
    // Takes the bytes waiting on the terminal; false when it failed.
    bool Take();

    Answer answer_;
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::vector<std::string> heard_;
    int master_ = -1;
    int slave_ = -1;  // kept open, so the line never hangs up between clients
    std::string path_;
    std::string partial_;  // a command line being received
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace astrel::bench
