// Serving threads of one kind of request: a fixed number of threads and a
// bounded queue, so that one kind (event streams, say) can never take the
// threads another kind (stops) needs. A connection offered when the lane is
// full is given back, for the gate to refuse.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Socket.h"

namespace astrel::tool {

class Lane {
  public:
    using Work = std::function<void(Client)>;

    // `queue` connections may wait for a thread; 0: only an idle thread takes one.
    Lane(size_t threads, size_t queue, Work work);
    // Closes the connections still waiting and waits for those being served.
    ~Lane();
    Lane(const Lane&) = delete;
    Lane& operator=(const Lane&) = delete;

    // Takes `connection` to serve; gives it back when the lane is full.
    std::optional<Client> Offer(Client connection);

  private:
    void Serve();

    const size_t queue_;
    const Work work_;
    std::mutex mutex_;
    std::condition_variable waiting_;
    std::deque<Client> clients_;
    size_t idle_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace astrel::tool
