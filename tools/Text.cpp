#include "Text.h"

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace astrel::tool {

namespace {

std::string Escaped(unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string{'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
}

// The code point of the UTF-8 sequence at `at`, moving `at` past it; a byte
// that starts no valid sequence counts as one character of its own.
char32_t NextCodePoint(std::string_view text, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t point = more == 0 ? lead : lead & (0x3F >> more);
    for (int i = 0; i < more && at < text.size(); ++i, ++at) {
        point = (point << 6) | (static_cast<unsigned char>(text[at]) & 0x3F);
    }
    return point;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes) {
    const iconv_t converter = ::iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1))) {
        std::string shown;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            shown += byte < 0x80 ? std::string(1, c) : Escaped(byte);
        }
        return shown;
    }
    std::string utf8;
    std::string input(bytes);
    char* in = input.data();
    size_t inLeft = input.size();
    while (inLeft > 0) {
        char out[64];
        char* outAt = out;
        size_t outLeft = sizeof out;
        const size_t result = ::iconv(converter, &in, &inLeft, &outAt, &outLeft);
        utf8.append(out, static_cast<size_t>(outAt - out));
        if (result == static_cast<size_t>(-1) && outAt == out) {
            // Neither converted nor out of room: a byte that is not code page 932.
            utf8 += Escaped(static_cast<unsigned char>(*in));
            ++in;
            --inLeft;
        }
    }
    ::iconv_close(converter);
    return utf8;
}

size_t DisplayWidth(std::string_view utf8) {
    size_t width = 0;
    for (size_t at = 0; at < utf8.size();) width += IsWide(NextCodePoint(utf8, at)) ? 2 : 1;
    return width;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lower;
}

bool SplitHostPort(const std::string& text, std::string& host, uint16_t& port) {
    const size_t colon = text.rfind(':');
    unsigned number = 0;
    const char* end = text.data() + text.size();
    if (colon == std::string::npos || colon == 0) return false;
    const auto [at, error] = std::from_chars(text.data() + colon + 1, end, number);
    if (error != std::errc{} || at != end || colon + 1 == text.size() || number > 65535)
        return false;
    host = text.substr(0, colon);
    port = static_cast<uint16_t>(number);
    return true;
}

std::string Visible(std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            shown += Escaped(byte);
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string PositionText(const std::array<int32_t, 3>& xyz, int axes) {
    static constexpr const char* kNames[] = {"X ", "Y ", "Z "};
    std::string text;
    for (int axis = 0; axis < std::clamp(axes, 1, 3); ++axis) {
        if (!text.empty()) text += "  ";
        text += kNames[axis] + std::to_string(xyz[static_cast<size_t>(axis)]);
    }
    return text;
}

void Table::Print(std::FILE* out) const {
    std::vector<size_t> widths;
    for (const auto& row : rows_) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    for (const auto& row : rows_) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
}

}  // namespace astrel::tool
