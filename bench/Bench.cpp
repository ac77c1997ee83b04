// What the library costs a host, trace off:
//  - exchange latency: each maker's status query (and raw exchanges with
//    replies of 1 and 30 bytes) through the C interface against a pty peer,
//    beside a bare termios write/poll/read loop that sends the same lines to
//    the same peer and reads the same replies; rounds alternate one run of
//    each, and the table gives p50 and p99 of every exchange and the ratio;
//  - the processor share of a ReceiveStageData that waits 2 s for nothing,
//    which fails the run (exit status 4) when the wait took less than its
//    time-out or kept a processor busy for 100 ms of it;
//  - the heap bytes and descriptors of one open handle.
//   astrel_bench [ROUNDS [EXCHANGES-PER-RUN [ROW]]]   (default 30 100, every row)
// With ROW (a part of a row's name) only the matching rows are timed, and the
// wait and the memory are not measured.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "Astrel.h"
#include "Dialects.h"
#include "PtyPeer.h"
#include "SimController.h"
#include "StageHandles.h"

namespace astrel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using test::PointPort;
using test::StageHandle;

struct Row {
    const char* name;
    int16_t maker;
    const char* model;
    std::string rawReply;  // empty: the maker's status query; else a raw exchange answered so
};

struct Times {
    std::vector<double> library, bare;  // microseconds per exchange
};

double Micros(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// The bare loop's own descriptor on the terminal, set raw by hand.
int OpenBare(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (fd < 0 || ::tcgetattr(fd, &raw) != 0) std::exit(2);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    return fd;
}

// One exchange of the bare loop: write the line, then poll and read until the reply is in.
bool BareExchange(int fd, const std::string& out, size_t replyBytes) {
    if (::write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return false;
    char buffer[512];
    for (size_t got = 0; got < replyBytes;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1) return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

Times MeasureRow(const Row& row, int rounds, int perRun) {
    static sim::SteadySimClock simClock;
    std::shared_ptr<sim::Dialect> dialect =
        sim::FindDialectByType(static_cast<uint16_t>(row.maker))->create(row.model, simClock);
    const std::string lineEnd(dialect->Line().hostLineEnd);
    const PtyPeer::Answer answer = [&row, dialect](const std::string& line) {
        return row.rawReply.empty() ? dialect->Answer(line) : row.rawReply;
    };
    PtyPeer peer(answer);
    PointPort(0, peer.Path());
    const int32_t h = StageHandle(row.maker, row.model, 0, 1000);
    char reply[128];
    int32_t status = 0;
    const auto libraryExchange = [&] {
        if (row.rawReply.empty()) return GetStageStatus(h) < 6;
        return SendStageData(h, "RAW") == 1 &&
               ReceiveStageData(h, reply, sizeof reply, &status) == 1;
    };
    if (OpenComPort(h) != 1 || !libraryExchange()) std::exit(2);
    // The bare loop writes what the library wrote and waits for the same replies.
    std::vector<std::pair<std::string, size_t>> lines;
    for (const std::string& line : peer.TakeHeard()) {
        lines.emplace_back(line + lineEnd, peer.ReplyTo(line).size());
    }
    const int bare = OpenBare(peer.Path());
    Times t;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool ofLibrary = (round % 2 == 0) == (round / 2 % 2 == 0);  // ABBA order
        for (int i = 0; i < perRun; ++i) {
            const auto start = Clock::now();
            bool ok = true;
            if (ofLibrary) {
                ok = libraryExchange();
            } else {
                for (const auto& [out, replyBytes] : lines)
                    ok = ok && BareExchange(bare, out, replyBytes);
            }
            (ofLibrary ? t.library : t.bare).push_back(Micros(start));
            if (!ok) std::exit(3);
        }
        peer.TakeHeard();
    }
    ::close(bare);
    ReleaseAstrel(h);
    return t;
}

void MeasureLatency(int rounds, int perRun, const char* only) {
    const Row rows[] = {
        {"QT QT3", 0, "QT3", ""},
        {"Prior ProScan", 1, "ProScan", ""},
        {"Suruga MSC-10", 2, "MSC-10", ""},
        {"Sigma SHOT-202", 3, "SHOT-202", ""},
        {"Hirox TH3", 4, "TH3", ""},
        {"CP-310", 6, "CP-310", ""},
        {"raw, 1-byte reply", 0, "QT3", "R\r\n"},
        {"raw, 30-byte reply", 0, "QT3", std::string(30, '7') + "\r\n"},
    };
    std::printf(
        "| exchange | library p50 | bare p50 | ratio p50 | library p99 | bare p99 | ratio p99 |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (only != nullptr && std::strstr(row.name, only) == nullptr) continue;
        const Times t = MeasureRow(row, rounds, perRun);
        const double l50 = Percentile(t.library, 0.5), b50 = Percentile(t.bare, 0.5);
        const double l99 = Percentile(t.library, 0.99), b99 = Percentile(t.bare, 0.99);
        std::printf("| %s | %.1f us | %.1f us | %.2f | %.1f us | %.1f us | %.2f |\n", row.name, l50,
                    b50, l50 / b50, l99, b99, l99 / b99);
    }
}

// A pseudo-terminal that port index `port` names, with nothing answering on it.
struct SilentTerminal {
    explicit SilentTerminal(int port) { PointPort(port, peer.Path()); }
    PtyPeer peer{[](const std::string&) { return std::string(); }};
};

// The processor time the calling thread has used, in milliseconds.
double ThreadProcessorMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Waiting for a reply blocks instead of polling: false when the wait did not
// last its time-out or kept the processor busy.
bool MeasureWait() {
    const SilentTerminal terminal(0);
    const int32_t h = StageHandle(0, "QT3", 0, 2000);
    char reply[64];
    int32_t status = 0;
    if (OpenComPort(h) != 1) std::exit(2);
    const auto start = Clock::now();
    const double processorBefore = ThreadProcessorMs();
    ReceiveStageData(h, reply, sizeof reply, &status);
    const double processorMs = ThreadProcessorMs() - processorBefore;
    const double wallMs = Micros(start) / 1000;
    std::printf("\nwaiting 2000 ms for no reply: wall %.0f ms, processor %.3f ms (%.4f %%)\n",
                wallMs, processorMs, 100 * processorMs / wallMs);
    ReleaseAstrel(h);
    return status == 1 && wallMs >= 2000 && processorMs < 100;
}

void MeasureMemory() {
    constexpr int kHandles = 10;
    std::list<SilentTerminal> terminals;
    for (int i = 0; i < kHandles; ++i) terminals.emplace_back(i);
    const auto heap = [] { return static_cast<double>(::mallinfo2().uordblks); };
    const double heapBefore = heap();
    const size_t fdsBefore = test::OpenDescriptors().size();
    int32_t handles[kHandles];
    for (int i = 0; i < kHandles; ++i) {
        handles[i] = StageHandle(0, "QT3", static_cast<uint16_t>(i));
        if (OpenComPort(handles[i]) != 1) std::exit(2);
    }
    const double bytes = (heap() - heapBefore) / kHandles;
    const double fds = static_cast<double>(test::OpenDescriptors().size() - fdsBefore) / kHandles;
    std::printf("one open handle (QT3): %.0f heap bytes, %.0f descriptors\n", bytes, fds);
    for (const int32_t h : handles) ReleaseAstrel(h);
}

}  // namespace
}  // namespace astrel::bench

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int perRun = argc > 2 ? std::atoi(argv[2]) : 100;
    ::unsetenv("ASTREL_TRACE");
    const char* only = argc > 3 ? argv[3] : nullptr;
    astrel::bench::MeasureLatency(rounds, perRun, only);
    if (only != nullptr) return 0;
    const bool waitBlocked = astrel::bench::MeasureWait();
    astrel::bench::MeasureMemory();
    return waitBlocked ? 0 : 4;
}
