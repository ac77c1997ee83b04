#include "Progress.h"

#include <unistd.h>

#include "Text.h"

namespace astrel::tool {

namespace {

// Plain lines come at most this often while nothing else changes.
constexpr auto kPlainInterval = std::chrono::milliseconds(500);

}  // namespace

Progress::Progress(std::FILE* out, std::string indent)
    : out_(out),
      indent_(std::move(indent)),
      live_(out != nullptr && ::isatty(::fileno(out)) == 1) {}

Progress::~Progress() {
    Finish();
}

void Progress::Show(const Xyz& position, std::optional<int64_t> left, const std::string& state) {
    if (out_ == nullptr) return;
    std::string line = indent_ + PositionText(position);
    if (left) line += "  left " + std::to_string(*left);
    line += "  " + state;
    if (live_) {
        std::fprintf(out_, "\r%s\033[K", line.c_str());
        pending_ = true;
    } else {
        const auto now = std::chrono::steady_clock::now();
        if (state == lastState_ && now - lastPlain_ < kPlainInterval) return;
        std::fprintf(out_, "%s\n", line.c_str());
        lastPlain_ = now;
        lastState_ = state;
    }
    std::fflush(out_);
}

void Progress::Finish() {
    if (!pending_) return;
    std::fprintf(out_, "\n");
    std::fflush(out_);
    pending_ = false;
}

}  // namespace astrel::tool
