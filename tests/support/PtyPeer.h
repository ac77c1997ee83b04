// The controller's end of a pseudo-terminal. The library opens the other end
// through ASTREL_COM<n>; a test reads what the library wrote and answers,
// either by hand or through a responder thread that answers each line.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace astrel::test {

// How many of this process's descriptors are open on `path`.
int OpenDescriptorsOn(const std::string& path);

class PtyPeer {
  public:
    // Creates the pseudo-terminal and points ASTREL_COM<portIndex+1> at it.
    explicit PtyPeer(int portIndex = 0);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // Writes bytes as the controller.
    void Write(std::string_view bytes);
    // Reads what the library wrote: waits up to `firstMs` for the first byte,
    // then takes bytes until none arrives for `quietMs`.
    std::string Read(int firstMs = 1000, int quietMs = 30);
    // Closes the controller's end, as an unplugged adapter would.
    void CloseMaster();

    // Answers every line the library writes (split at CR/LF) with what the
    // function returns (written as is; empty: no answer), on a background thread.
    void Serve(std::function<std::string(const std::string&)> answer);
    // The lines the responder has seen so far.
    std::vector<std::string> Lines();
    // Waits up to `ms` until the responder has seen `count` lines.
    bool WaitForLines(size_t count, int ms = 2000);

    const std::string& SlavePath() const { return slavePath_; }
    int SlaveFd() const { return slave_; }

  private:
    void StopServing();

    int master_ = -1;
    int slave_ = -1;
    int portIndex_;
    std::string slavePath_;
    std::thread server_;
    int stopPipe_[2] = {-1, -1};
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace astrel::test
