// A command line being built for the controller: formatted pieces appended
// in order, at most kCapacity bytes. A piece that does not fit spoils the
// whole line, and a spoiled line is never sent.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "driver/Attributes.h"

class CommandLine {
  public:
    // The longest command any controller takes, without its delimiter.
    static constexpr size_t kCapacity = 255;

    CommandLine() = default;
    // A line holding the formatted text.
    explicit CommandLine(const char* format, ...) ASTREL_PRINTF(2, 3);

    // Appends the formatted text.
    CommandLine& Add(const char* format, ...) ASTREL_PRINTF(2, 3);
    // Appends another line's text; a spoiled one spoils this one too.
    CommandLine& Add(const CommandLine& other);

    // Whether every piece fitted.
    bool Ok() const { return ok_; }
    bool Empty() const { return length_ == 0; }
    const char* Text() const { return text_; }

  private:
    void Append(const char* format, va_list args);

    char text_[kCapacity + 1] = {};
    size_t length_ = 0;
    bool ok_ = true;
};
