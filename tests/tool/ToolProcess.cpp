#include "ToolProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace astrel::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

ToolProcess::Fd::~Fd() {
    if (fd >= 0) ::close(fd);
}

ToolProcess::ToolProcess(const std::vector<std::string>& args, const char* program) {
    // posix_spawn takes the words as char* but leaves them as they are.
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // Standard output comes through a pipe; standard error goes to a file in
    // memory, read when the tool has ended.
    err_.fd = ::memfd_create("astrel-stderr", MFD_CLOEXEC);
    int out[2];
    if (err_.fd < 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const Fd written{out[1]};
    out_.fd = out[0];
    ::fcntl(out_.fd, F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, written.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_.fd, 2);
    const int spawned = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error(std::string("cannot start ") + program);
    ended_.fd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // readable when it ends
}

bool ToolProcess::WaitForOutput(std::string_view text, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    const auto came = [&] { return !text.empty() && run_.out.find(text) != std::string::npos; };
    while (!came() && MsUntil(deadline) > 0) {
        pollfd readable{out_.fd, POLLIN, 0};
        ::poll(&readable, 1, MsUntil(deadline));
        char buffer[4096];
        const ssize_t count = ::read(out_.fd, buffer, sizeof buffer);
        if (count == 0) break;  // the tool has closed its output
        if (count > 0) run_.out.append(buffer, static_cast<size_t>(count));
    }
    return came();
}

void ToolProcess::Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

ToolRun ToolProcess::Finish(int ms) {
    if (pid_ <= 0) return run_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    WaitForOutput("", ms);
    pollfd ended{ended_.fd, POLLIN, 0};
    const bool exited = ::poll(&ended, 1, MsUntil(deadline)) == 1;
    if (!exited) ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(std::exchange(pid_, -1), &status, 0);
    run_.exitCode = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    struct stat written {};
    ::fstat(err_.fd, &written);
    run_.err.resize(static_cast<size_t>(written.st_size));
    if (::pread(err_.fd, run_.err.data(), run_.err.size(), 0) < 0) run_.err.clear();
    return run_;
}

ToolRun RunTool(const std::vector<std::string>& args, int ms) {
    return ToolProcess(args).Finish(ms);
}

}  // namespace astrel::test
