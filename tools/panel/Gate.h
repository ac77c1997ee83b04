// The panel's door. Every connection the server accepts waits here, on one
// thread that polls them all, until the head of its request (request line
// and header fields) is in whole; only then may it take a serving thread.
// A head must come within kHeadTime of the connection (or of the first byte
// of a next request on a kept connection) and fit in kMaxHead, or the
// connection is closed. So no number of slow or silent strangers can keep a
// serving thread, and a stop always finds one.
#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "Lane.h"
#include "RequestHead.h"
#include "Socket.h"

namespace astrel::tool {

// An answer the gate gives itself, whole, with the connection closed after it.
std::string HttpAnswer(int status, std::string_view reason, std::string_view contentType,
                       std::string_view body);

// What becomes of a request, once its head is in: the lane that serves it,
// or the answer it gets at the gate (`answer`, when `lane` is null).
struct Verdict {
    static Verdict Answer(std::string answer) { return {nullptr, std::move(answer), {}}; }
    // `whenFull`: the answer when the lane has no room.
    static Verdict To(Lane& lane, std::string whenFull) { return {&lane, {}, std::move(whenFull)}; }

    Lane* lane = nullptr;
    std::string answer;
    std::string whenFull;
};

class Gate {
  public:
    static constexpr std::chrono::milliseconds kHeadTime{2000};
    // A kept connection with no next request is closed after this.
    static constexpr std::chrono::milliseconds kIdleTime{5000};
    static constexpr size_t kMaxHead = 8192;
    // Connections waiting at most; a new one pushes out the oldest.
    static constexpr size_t kMaxWaiting = 256;

    using Sort = std::function<Verdict(const RequestHead&)>;

    explicit Gate(Sort sort);
    // Closes every connection still waiting.
    ~Gate() { Stop(); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    // A connection just accepted.
    void Accepted(int fd);
    // A kept connection, served, back to wait for its next request.
    void Kept(Client connection);
    // Closes every connection waiting and takes no more.
    void Stop();

  private:
    struct Waiting {
        Client connection;
        std::chrono::steady_clock::time_point deadline;
        bool idle;  // kept, and no byte of its next request yet
    };

    void Add(Waiting waiting);
    void Run();
    // Reads what came; false when the connection is done with here.
    bool Read(Waiting& waiting);
    void Pass(Client connection);

    const Sort sort_;
    int wake_ = -1;  // an eventfd: a connection was added, or the gate closes
    std::mutex mutex_;
    std::list<Waiting> added_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace astrel::tool
