#include "FakeSerialDevice.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace astrel::test {
namespace {

// Ticks wrap: `at` has come when it is not ahead of `now`.
bool Reached(uint32_t now, uint32_t at) {
    return static_cast<int32_t>(now - at) >= 0;
}

}  // namespace

void FakeLine::Queue(const std::string& bytes, uint32_t delayMs) {
    const uint32_t at = clock.now_ + delayMs;
    for (char c : bytes) input.emplace_back(at, static_cast<uint8_t>(c));
}

std::string FakeLine::TakeWritten() {
    std::string out;
    out.swap(written);
    return out;
}

std::vector<std::string> FakeLine::TakeLines() {
    std::string text = TakeWritten();
    std::replace(text.begin(), text.end(), '\r', '\n');
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

uint32_t FakeLine::Ready() const {
    uint32_t n = 0;
    while (n < input.size() && Reached(clock.now_, input[n].first)) ++n;
    return n;
}

bool FakeSerialDevice::Purge(bool input, bool /*output*/) {
    if (input) line_->input.erase(line_->input.begin(), line_->input.begin() + line_->Ready());
    return true;
}

bool FakeSerialDevice::LineError() {
    if (line_->lineErrors == 0) return false;
    --line_->lineErrors;
    return true;
}

int32_t FakeSerialDevice::Read(uint8_t* buffer, uint32_t size) {
    if (++line_->reads > 1000000) throw std::logic_error("the port reads without end");
    if (line_->gone) return -1;
    const uint32_t n = std::min(size, line_->Ready());
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i] = line_->input.front().second;
        line_->input.pop_front();
    }
    return static_cast<int32_t>(n);
}

int32_t FakeSerialDevice::Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) {
    if (line_->gone) return -1;
    uint32_t n = size;
    if (!line_->writes.empty()) {
        const int32_t step = line_->writes.front();
        line_->writes.pop_front();
        if (step < 0) return -1;
        n = std::min(n, static_cast<uint32_t>(step));
    }
    if (n == 0) line_->clock.now_ += timeoutMs;  // a stalled write waits out its time-out
    for (uint32_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        line_->written += c;
        if (c != '\r' && c != '\n') {
            line_->pendingLine += c;
            continue;
        }
        std::string done;
        done.swap(line_->pendingLine);
        if (!done.empty() && line_->responder) line_->responder(done);
    }
    return static_cast<int32_t>(n);
}

WaitResult FakeSerialDevice::WaitReadable(uint32_t timeoutMs, const WakeSignal* wake) {
    if (line_->onWait) line_->onWait();
    if (wake != nullptr && wake->Raised()) return WaitResult::kWoken;
    if (line_->gone) return WaitResult::kFailed;
    // Jump to the next scheduled byte, or to the end of the wait.
    uint32_t wait = timeoutMs;
    if (!line_->input.empty())
        wait = std::min(wait, line_->input.front().first - line_->clock.now_);
    if (line_->Ready() > 0) wait = 0;
    line_->clock.now_ += wait;
    return line_->Ready() > 0 ? WaitResult::kReadable : WaitResult::kTimedOut;
}

}  // namespace astrel::test
