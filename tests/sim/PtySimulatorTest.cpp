// The runner over a real pseudo-terminal: a host opens the device, writes a
// status query and reads what comes back, with the faults that no test
// through the library shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "SimController.h"

namespace astrel::sim {
namespace {

using std::chrono::steady_clock;

struct Heard {
    std::string bytes;
    int64_t firstByteMs = -1;  // after the command was written
};

// Reads what arrives after a command written at `start`: waits up to
// `firstMs` for the first byte, then takes bytes until none comes for
// `quietMs` or `totalMs` have passed.
Heard Listen(int fd, steady_clock::time_point start, int firstMs, int quietMs, int totalMs) {
    Heard heard;
    const auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start)
            .count();
    };
    for (int wait = firstMs; elapsed() < totalMs;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, wait) <= 0) break;
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) break;
        if (heard.firstByteMs < 0) heard.firstByteMs = elapsed();
        heard.bytes.append(buffer, static_cast<size_t>(count));
        wait = quietMs;
    }
    return heard;
}

TEST(PtySimulator, ServesTheHostOverAPseudoTerminal) {
    const struct {
        const char* name;
        FaultSettings fault;
        const char* written;
        const char* reply;
        int64_t notBeforeMs = 0;
        speed_t speed = B9600;  // the controller's
    } cases[] = {
        // clang-format off
        {"AnotherSpeedIsNoise", {}, "Q:0\r\n", "", -1, B19200},
        {"AnotherLineEndIsNoise", {}, "Q:0\n", "", -1},
        {"HalfLine", {.fault = Fault::kHalfLine}, "Q:0\r\n", "42,"},
        {"LateRepliesThenTheLastLineOnceMore", {.fault = Fault::kLate, .lateMs = 50}, "Q:0\r\n",
         "42,0,0\r\n42,0,0\r\n", 50},
        // clang-format on
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        test::SimController controller(0, "QT3");
        controller.With([&](Simulator& simulator) {
            simulator.SetFault(row.fault);
            simulator.GetDialect().Motion().SetPosition(0, 42);
        });
        const int fd = ::open(controller.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios settings{};
        ASSERT_EQ(::tcgetattr(fd, &settings), 0);
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, row.speed);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &settings), 0);
        const std::string written = row.written;
        const auto sent = steady_clock::now();
        ASSERT_EQ(::write(fd, written.data(), written.size()),
                  static_cast<ssize_t>(written.size()));
        const Heard heard = Listen(fd, sent, 400, 100, 500);
        ::close(fd);
        EXPECT_EQ(heard.bytes, row.reply);
        EXPECT_GE(heard.firstByteMs, row.notBeforeMs);
        std::string line = written;  // each row writes one command
        std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
        EXPECT_EQ(controller.Heard(), std::string(row.reply).empty()
                                          ? std::vector<std::string>{}
                                          : std::vector<std::string>{line});
    }
}

}  // namespace
}  // namespace astrel::sim
