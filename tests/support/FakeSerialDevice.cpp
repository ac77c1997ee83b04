#include "FakeSerialDevice.h"

#include <algorithm>

namespace astrel::test {

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
    std::vector<std::string> lines;
    std::string current;
    for (char c : TakeWritten()) {
        if (c == '\r' || c == '\n') {
            if (!current.empty()) lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

uint32_t FakeLine::Ready() const {
    uint32_t n = 0;
    for (const auto& [at, byte] : input) {
        // Ticks wrap: a byte is ready when its tick is not ahead of now.
        if (static_cast<int32_t>(clock.now_ - at) < 0) break;
        ++n;
    }
    return n;
}

bool FakeSerialDevice::Open(const std::string& path) {
    line_->openedPath = path;
    if (line_->failOpen) return false;
    line_->isOpen = true;
    ++line_->opens;
    return true;
}

void FakeSerialDevice::Close() {
    line_->isOpen = false;
}

bool FakeSerialDevice::Configure(const SerialSettings& settings) {
    line_->configured = settings;
    return !line_->failConfigure;
}

bool FakeSerialDevice::DrainOutput(uint32_t /*timeoutMs*/) {
    ++line_->drains;  // written bytes are taken at once: nothing is ever queued
    return true;
}

bool FakeSerialDevice::Purge(bool input, bool /*output*/) {
    ++line_->purges;
    if (input) {
        const uint32_t ready = line_->Ready();
        line_->input.erase(line_->input.begin(), line_->input.begin() + ready);
    }
    return true;
}

bool FakeSerialDevice::Query(PortState& state) {
    if (line_->failQuery || line_->hungUp) return false;
    state.bytesWaiting = line_->Ready();
    state.lineError = line_->lineErrors > 0;
    if (line_->lineErrors > 0) --line_->lineErrors;
    return true;
}

int32_t FakeSerialDevice::Read(uint8_t* buffer, uint32_t size) {
    if (line_->failRead || line_->hungUp) return -1;
    const uint32_t n = std::min(size, line_->Ready());
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i] = line_->input.front().second;
        line_->input.pop_front();
    }
    return static_cast<int32_t>(n);
}

int32_t FakeSerialDevice::Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs) {
    if (line_->failWrite || line_->hungUp) return -1;
    if (line_->writeStalls > 0) {
        --line_->writeStalls;
        line_->clock.Advance(timeoutMs);
        return 0;
    }
    uint32_t n = size;
    if (line_->maxWriteChunk != 0) n = std::min(n, line_->maxWriteChunk);
    for (uint32_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        line_->written += c;
        if (c == '\r' || c == '\n') {
            if (!line_->pendingLine.empty() && line_->responder) {
                const std::string done = line_->pendingLine;
                line_->pendingLine.clear();
                line_->responder(done);
            }
            line_->pendingLine.clear();
        } else {
            line_->pendingLine += c;
        }
    }
    return static_cast<int32_t>(n);
}

WaitResult FakeSerialDevice::WaitReadable(uint32_t timeoutMs) {
    if (line_->hungUp) return WaitResult::kFailed;
    if (line_->Ready() > 0) return WaitResult::kReadable;
    // Jump to the next scheduled byte, or to the end of the wait.
    if (!line_->input.empty()) {
        const uint32_t gap = line_->input.front().first - line_->clock.now_;
        if (gap <= timeoutMs) {
            line_->clock.Advance(gap);
            return WaitResult::kReadable;
        }
    }
    line_->clock.Advance(timeoutMs);
    return WaitResult::kTimedOut;
}

}  // namespace astrel::test
