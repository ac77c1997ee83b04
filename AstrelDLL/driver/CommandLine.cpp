#include "driver/CommandLine.h"

#include <cstdio>

CommandLine::CommandLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Append(format, args);
    va_end(args);
}

CommandLine& CommandLine::Add(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Append(format, args);
    va_end(args);
    return *this;
}

CommandLine& CommandLine::Add(const CommandLine& other) {
    if (!other.ok_) ok_ = false;
    return Add("%s", other.text_);
}

void CommandLine::Append(const char* format, va_list args) {
    if (!ok_) return;
    const size_t room = sizeof text_ - length_;
    const int n = std::vsnprintf(text_ + length_, room, format, args);
    if (n < 0 || static_cast<size_t>(n) >= room) {
        ok_ = false;
        text_[length_] = '\0';  // the part that fitted is dropped with the rest
        return;
    }
    length_ += static_cast<size_t>(n);
}
