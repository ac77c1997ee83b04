// Controller bytes made readable for messages and the traffic trace.
#pragma once

#include <cstddef>
#include <string_view>

namespace astrel {

// Writes `bytes` to `out` (`size` bytes, always terminated when size > 0) with
// CR, LF and tab as \r \n \t, a backslash or quote doubled with a backslash,
// and every other control or non-ASCII byte as \xNN. Text that does not fit
// is cut at a whole escape and ends in "...". Returns the length written.
size_t EscapeBytes(std::string_view bytes, char* out, size_t size);

}  // namespace astrel
