#include "diag/Trace.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "diag/EscapedBytes.h"

namespace astrel {
namespace {

// One lock for every trace of the process: a line is written whole.
std::mutex& WriteLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::unique_ptr<Trace> Trace::FromEnvironment() {
    const char* target = std::getenv("ASTREL_TRACE");
    if (target == nullptr || *target == '\0') return nullptr;
    if (std::strcmp(target, "stderr") == 0) return std::unique_ptr<Trace>(new Trace(stderr, false));
        // Appended to, and never inherited by a child process the host starts.
#ifdef _WIN32
    std::FILE* file = std::fopen(target, "aN");
#else
    std::FILE* file = std::fopen(target, "ae");
#endif
    if (file == nullptr) return nullptr;
    return std::unique_ptr<Trace>(new Trace(file, true));
}

Trace::~Trace() {
    if (owned_) std::fclose(file_);
}

void Trace::Line(int32_t handle, std::string_view port, const char* direction,
                 std::string_view bytes, std::string_view note) {
    using namespace std::chrono;
    const auto sinceMidnight =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()) % hours(24);
    const auto ms = static_cast<long>(sinceMidnight.count());
    char escaped[1024];
    EscapeBytes(bytes, escaped, sizeof escaped);
    char head[64];
    std::snprintf(head, sizeof head, "%02ld:%02ld:%02ld.%03ld handle %d ", ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60, ms % 1000, static_cast<int>(handle));
    std::string line = head;
    line.append(port).append(" ").append(direction).append(" \"").append(escaped).append("\"");
    if (!note.empty()) line.append(" (").append(note).append(")");
    line += '\n';
    const std::lock_guard<std::mutex> hold(WriteLock());
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace astrel
