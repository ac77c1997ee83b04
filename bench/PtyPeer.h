// The controller's end of two pseudo-terminals for the bench: one thread
// that answers each command line (cut at CR or LF) on either with the bytes
// `answer` gave for that line the first time, so that the peer costs each
// exchange as little as it can, and the same on both lines: the library's
// exchanges on one and the bare loop's on the other meet the same thread.
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
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    static constexpr int kLines = 2;
    const std::string& Path(int line) const { return lines_[line].path; }
    // The lines heard on either terminal since the last call.
    std::vector<std::string> TakeHeard();
    // The bytes the peer answers `line` with.
    std::string ReplyTo(const std::string& line);

  private:
    struct Line {
        int master = -1;
        int slave = -1;  // kept open, so the line never hangs up between clients
        std::string path;
        std::string partial;  // a command line being received
    };
    void Serve();
    // Takes the bytes waiting on `line`; false when it failed.
    bool Take(Line& line);

    Answer answer_;
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::vector<std::string> heard_;
    Line lines_[kLines];
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace astrel::bench
