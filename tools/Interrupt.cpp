#include "Interrupt.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "Astrel.h"

namespace astrel::tool {

namespace {

// Takes a watched signal that is still pending when the watch ends.
extern "C" void IgnoreSignal(int) {}

}  // namespace

InterruptWatch::InterruptWatch() {
    sigset_t watched;
    sigemptyset(&watched);
    for (const int signal : kSignals) sigaddset(&watched, signal);
    signalFd_ = ::signalfd(-1, &watched, SFD_CLOEXEC);
    quitFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || quitFd_ < 0) {
        const int error = errno;
        if (signalFd_ >= 0) ::close(signalFd_);
        if (quitFd_ >= 0) ::close(quitFd_);
        throw std::system_error(error, std::generic_category(), "watching for signals");
    }
    pthread_sigmask(SIG_BLOCK, &watched, &previousMask_);
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    action.sa_mask = watched;
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
    watcher_ = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(quitFd_, &one, sizeof one);
    watcher_.join();
    ::close(signalFd_);
    ::close(quitFd_);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

void InterruptWatch::Watch() {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {quitFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0 || fds[0].revents == 0) break;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) != sizeof info) continue;
        {
            const std::lock_guard lock(mutex_);
            if (received_ == 0) received_ = static_cast<int>(info.ssi_signo);
        }
        arrived_.notify_all();
        // Cuts short whatever call the tool waits in, and stops the stage.
        const std::lock_guard stage(stageMutex_);
        if (stage_ != kNoStage) StopMove(stage_);
    }
    {
        const std::lock_guard lock(mutex_);
        watching_ = false;
    }
    arrived_.notify_all();
}

void InterruptWatch::SetStage(int32_t handle) {
    const std::lock_guard lock(stageMutex_);
    stage_ = handle;
}

InterruptWatch::Stopping::Stopping(InterruptWatch& watch, int32_t handle) : watch_(watch) {
    watch_.SetStage(handle);
}

InterruptWatch::Stopping::~Stopping() {
    watch_.SetStage(kNoStage);
}

int InterruptWatch::Received() {
    const std::lock_guard lock(mutex_);
    return received_;
}

bool InterruptWatch::Sleep(int ms) {
    std::unique_lock lock(mutex_);
    return !arrived_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return received_ != 0; });
}

int InterruptWatch::WaitForSignal() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [this] { return received_ != 0 || !watching_; });
    return received_;
}

}  // namespace astrel::tool
