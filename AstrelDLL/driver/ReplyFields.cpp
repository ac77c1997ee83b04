#include "driver/ReplyFields.h"

#include <cstring>
#include <limits>

namespace astrel {
namespace {

// White space as the C locale's isspace sees it, without its undefined
// behaviour for negative char values.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string_view ReplyText(const char* buffer, size_t size) {
    if (buffer == nullptr) return {};
    const void* nul = std::memchr(buffer, '\0', size);
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : size;
    return {buffer, length};
}

size_t SplitFields(std::string_view text, char separator, std::string_view* fields,
                   size_t maxFields) {
    size_t count = 0;
    size_t pos = 0;
    while (count < maxFields && pos < text.size()) {
        size_t end = text.find(separator, pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) fields[count++] = text.substr(pos, end - pos);
        pos = end + 1;
    }
    return count;
}

bool ReadLeadingDecimal(std::string_view field, int32_t& value) {
    size_t i = 0;
    while (i < field.size() && IsSpace(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i >= field.size() || !IsDigit(field[i])) return false;
    // Accumulate the magnitude in 64 bits and stop growing it once it passes
    // the largest magnitude a 32-bit value can take: the result saturates.
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (field[i] - '0');
    }
    if (negative) {
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                                    : static_cast<int32_t>(-magnitude);
    } else {
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                                    : static_cast<int32_t>(magnitude);
    }
    return true;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ReadLeadingHex(std::string_view field, uint32_t& value) {
    size_t i = 0;
    while (i < field.size() && IsSpace(field[i])) ++i;
    if (i >= field.size() || HexDigitValue(field[i]) < 0) return false;
    uint64_t number = 0;
    for (; i < field.size() && HexDigitValue(field[i]) >= 0; ++i) {
        if (number <= UINT32_MAX)
            number = number * 16 + static_cast<uint64_t>(HexDigitValue(field[i]));
    }
    value = number > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(number);
    return true;
}

bool ReadHexField(std::string_view field, uint32_t& value) {
    while (!field.empty() && IsSpace(field.front())) field.remove_prefix(1);
    while (!field.empty() && IsSpace(field.back())) field.remove_suffix(1);
    for (const char c : field) {
        if (HexDigitValue(c) < 0) return false;
    }
    return ReadLeadingHex(field, value);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void CopyText(const char* text, char* out) {
    if (out != nullptr) std::memcpy(out, text, std::strlen(text) + 1);
}

}  // namespace astrel
