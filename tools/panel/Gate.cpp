#include "Gate.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace astrel::tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 4096;

}  // namespace

std::string HttpAnswer(int status, std::string_view reason, std::string_view contentType,
                       std::string_view body) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " ";
    answer.append(reason);
    answer += "\r\nContent-Type: ";
    answer.append(contentType);
    answer += "\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    answer.append(body);
    return answer;
}

Gate::Gate(Sort sort) : sort_(std::move(sort)) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
}

void Gate::Stop() {
    {
        const std::lock_guard lock(mutex_);
        if (quit_) return;
        quit_ = true;
        added_.clear();
    }
    const uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(wake_);
}

void Gate::Accepted(int fd) {
    Add({Client{Socket(fd), {}}, Clock::now() + kHeadTime, false});
}

void Gate::Kept(Client connection) {
    const bool idle = connection.bytes.empty();
    Add({std::move(connection), Clock::now() + (idle ? kIdleTime : kHeadTime), idle});
}

void Gate::Add(Waiting waiting) {
    {
        const std::lock_guard lock(mutex_);
        if (quit_) return;
        added_.push_back(std::move(waiting));
    }
    const uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
}

void Gate::Run() {
    std::list<Waiting> waiting;
    std::vector<pollfd> polled;
    while (true) {
        {
            const std::lock_guard lock(mutex_);
            if (quit_) return;
            waiting.splice(waiting.end(), added_);
        }
        while (waiting.size() > kMaxWaiting) waiting.pop_front();
        // A kept connection may hold a whole next request already.
        for (auto it = waiting.begin(); it != waiting.end();) {
            it = HeadEnd(it->connection.bytes)
                     ? (Pass(std::move(it->connection)), waiting.erase(it))
                     : std::next(it);
        }
        const Clock::time_point now = Clock::now();
        Clock::time_point next = now + kIdleTime;
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (it->deadline <= now) {
                it = waiting.erase(it);  // too slow: closed
                continue;
            }
            next = std::min(next, it->deadline);
            ++it;
        }
        polled.assign(1, pollfd{wake_, POLLIN, 0});
        for (const Waiting& w : waiting) polled.push_back({w.connection.socket.Fd(), POLLIN, 0});
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
        if (::poll(polled.data(), polled.size(), static_cast<int>(wait.count())) <= 0) continue;
        if (polled[0].revents != 0) {
            uint64_t count = 0;
            (void)::read(wake_, &count, sizeof count);
        }
        size_t index = 1;
        for (auto it = waiting.begin(); it != waiting.end(); ++index) {
            const bool ready = polled[index].revents != 0;
            it = ready && !Read(*it) ? waiting.erase(it) : std::next(it);
        }
    }
}

bool Gate::Read(Waiting& waiting) {
    Client& connection = waiting.connection;
    char chunk[kReadChunk];
    const ssize_t count = ::recv(connection.socket.Fd(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (count <= 0) return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    connection.bytes.append(chunk, static_cast<size_t>(count));
    if (waiting.idle) {  // the next request has begun: its head gets the usual time
        waiting.idle = false;
        waiting.deadline = Clock::now() + kHeadTime;
    }
    if (HeadEnd(connection.bytes)) {
        Pass(std::move(connection));
        return false;
    }
    if (connection.bytes.size() > kMaxHead) {
        connection.socket.AnswerAndClose(HttpAnswer(431, "Request Header Fields Too Large",
                                                    "text/plain",
                                                    "the request's head is too large\n"));
        return false;
    }
    return true;
}

void Gate::Pass(Client connection) {
    const std::optional<RequestHead> head = ParseHead(connection.bytes);
    if (!head) {
        connection.socket.AnswerAndClose(
            HttpAnswer(400, "Bad Request", "text/plain", "not an HTTP request\n"));
        return;
    }
    Verdict verdict = sort_(*head);
    if (verdict.lane == nullptr) {
        connection.socket.AnswerAndClose(verdict.answer);
        return;
    }
    std::optional<Client> refused = verdict.lane->Offer(std::move(connection));
    if (refused) refused->socket.AnswerAndClose(verdict.whenFull);
}

}  // namespace astrel::tool
