// Reading controller replies and building command text, for every maker
// driver. Replies are controller input: nothing here reads past the text it
// is given, and numbers that do not fit saturate instead of overflowing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace astrel {

// The text of a reply buffer: up to its first NUL, never past `size` bytes.
std::string_view ReplyText(const char* buffer, size_t size);

// Splits `text` at `separator` into at most `maxFields` fields, stored in
// order in `fields`; empty fields are skipped, as strtok does. Returns the
// number stored; the rest of the text is ignored once `maxFields` are found.
size_t SplitFields(std::string_view text, char separator, std::string_view* fields,
                   size_t maxFields);

// Reads a signed decimal integer from the start of `field` as "%d" does:
// leading white space skipped, an optional sign, then digits up to the first
// non-digit. Returns false and leaves `value` untouched when no digit follows.
// A number outside the 32-bit range saturates to INT32_MIN or INT32_MAX.
bool ReadLeadingDecimal(std::string_view field, int32_t& value);

// snprintf into `buffer`, checked: false when the text (with its terminator)
// does not fit in `size` bytes or the format fails. Callers send nothing then.
bool FormatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace astrel
