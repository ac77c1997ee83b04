#include "ToolProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace astrel::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("no pipe");
    }
    std::vector<std::string> words{ASTREL_TOOL_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + words[0]);
    }
}

ToolProcess::~ToolProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {out_, err_}) {
        if (fd >= 0) ::close(fd);
    }
}

void ToolProcess::Collect(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int* const streams[2] = {&out_, &err_};
    std::string* const texts[2] = {&run_.out, &run_.err};
    while (out_ >= 0 || err_ >= 0) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        for (size_t i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                texts[i]->append(buffer, static_cast<size_t>(count));
            } else {
                ::close(fds[i].fd);
                *streams[i] = -1;
            }
        }
    }
}

bool ToolProcess::WaitForOutput(std::string_view text, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (run_.out.find(text) == std::string::npos && MsUntil(deadline) > 0 &&
           (out_ >= 0 || err_ >= 0)) {
        Collect(std::min(MsUntil(deadline), 50));
    }
    return run_.out.find(text) != std::string::npos;
}

void ToolProcess::Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

ToolRun ToolProcess::Finish(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    Collect(ms);
    int status = 0;
    // The streams have ended, so the tool is on its way out: look in now and then.
    while (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0) {
        if (MsUntil(deadline) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return run_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    run_.exitCode = ExitCodeOf(status);
    return run_;
}

ToolRun RunTool(const std::vector<std::string>& args, int ms) {
    return ToolProcess(args).Finish(ms);
}

}  // namespace astrel::test
