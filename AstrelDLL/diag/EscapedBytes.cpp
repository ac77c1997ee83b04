#include "diag/EscapedBytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace astrel {

size_t EscapeBytes(std::string_view bytes, char* out, size_t size) {
    if (size == 0) return 0;
    static constexpr char kEllipsis[] = "...";
    static constexpr size_t kEllipsisLength = sizeof kEllipsis - 1;
    size_t length = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        // Line ends, tabs, the backslash and the quote by name; other control
        // and non-ASCII bytes in hexadecimal.
        static constexpr std::pair<char, const char*> kNamed[] = {
            {'\r', "\\r"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\\', "\\\\"}, {'"', "\\\""}};
        char piece[5] = {};
        const auto* named =
            std::find_if(std::begin(kNamed), std::end(kNamed),
                         [&](const auto& entry) { return entry.first == bytes[i]; });
        if (named != std::end(kNamed)) {
            std::strcpy(piece, named->second);
        } else if (byte < 0x20 || byte >= 0x7F) {
            std::snprintf(piece, sizeof piece, "\\x%02X", byte);
        } else {
            piece[0] = static_cast<char>(byte);
        }
        const size_t n = std::strlen(piece);
        // Room is kept for the ellipsis while more bytes follow.
        const size_t reserve = i + 1 < bytes.size() ? kEllipsisLength : 0;
        if (length + n + reserve + 1 > size) {
            // The room kept earlier holds the ellipsis (a tiny buffer takes what fits).
            const size_t room = size - 1 - length;
            const size_t dots = room < kEllipsisLength ? room : kEllipsisLength;
            std::memset(out + length, '.', dots);
            length += dots;
            break;
        }
        std::memcpy(out + length, piece, n);
        length += n;
    }
    out[length] = '\0';
    return length;
}

}  // namespace astrel
