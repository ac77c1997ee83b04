#include "Lane.h"

namespace astrel::tool {

Lane::Lane(size_t threads, size_t queue, Work work) : queue_(queue), work_(std::move(work)) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

Lane::~Lane() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        clients_.clear();
    }
    waiting_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

std::optional<Client> Lane::Offer(Client connection) {
    {
        const std::lock_guard lock(mutex_);
        // Each idle thread takes one waiting connection, the queue the rest.
        if (quit_ || clients_.size() >= queue_ + idle_) return connection;
        clients_.push_back(std::move(connection));
    }
    waiting_.notify_one();
    return std::nullopt;
}

void Lane::Serve() {
    std::unique_lock lock(mutex_);
    while (true) {
        ++idle_;
        waiting_.wait(lock, [this] { return quit_ || !clients_.empty(); });
        --idle_;
        if (quit_) return;
        Client connection = std::move(clients_.front());
        clients_.pop_front();
        lock.unlock();
        work_(std::move(connection));
        lock.lock();
    }
}

}  // namespace astrel::tool
