// Reading controller replies and handling text, for every maker driver. Replies are controller
// input: nothing here reads past the text it is given, and numbers that do not fit saturate instead
// of overflowing.
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

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other character.
int HexDigitValue(char c);

// Reads a hexadecimal number from the start of `field` as "%x" does: leading
// white space skipped, then hexadecimal digits up to the first other
// character. Returns false and leaves `value` untouched when no digit
// follows. A number beyond 32 bits saturates to UINT32_MAX.
bool ReadLeadingHex(std::string_view field, uint32_t& value);

// Reads `field` as a hexadecimal number and nothing else: white space around
// it is allowed, any other character gives false with `value` untouched (so
// "1A" reads and "1Z", "1,2" or an empty field do not). Saturates as
// ReadLeadingHex does.
bool ReadHexField(std::string_view field, uint32_t& value);

// Whether the two texts are equal when ASCII letters are compared without
// regard to case (other bytes, those of code page 932 included, must match).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Copies `text` with its terminator to `out` (null: nothing). The caller's
// buffer must hold it: every catalogue entry fits the 64 bytes the catalogue
// hands a driver.
void CopyText(const char* text, char* out);

}  // namespace astrel
