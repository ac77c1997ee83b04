#include "makers/HiroxStatusLine.h"

#include <cstddef>

#include "driver/ReplyFields.h"

namespace astrel::hirox {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The keyed words, in the order of their values: three hexadecimal, then
// three decimal.
constexpr std::string_view kKeys[] = {"STS=", "INP=", "OUT=", "POS=", "ENC=", "SPD="};
constexpr size_t kHexKeys = 3;
constexpr size_t kKeyCount = std::size(kKeys);

// Whether `word` begins with `key`, compared here byte by byte: a library
// compare per key and word is most of the time a status line costs.
bool BeginsWith(std::string_view word, std::string_view key) {
    if (word.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        if (word[i] != key[i]) return false;
    }
    return true;
}

}  // namespace

bool Words::Next(std::string_view& word) {
    size_t begin = 0;
    while (begin < rest_.size() && IsSeparator(rest_[begin])) ++begin;
    size_t end = begin;
    while (end < rest_.size() && !IsSeparator(rest_[end]) && rest_[end] != '\0') ++end;
    if (end == begin) {
        rest_ = {};  // the end of the line, or a NUL that ends it
        return false;
    }
    word = rest_.substr(begin, end - begin);
    rest_.remove_prefix(end);
    return true;
}

bool BeginsWithAt(std::string_view line) {
    std::string_view first;
    return Words(line).Next(first) && first.front() == '@';
}

bool ReadHexValue(std::string_view text, uint32_t& value) {
    if (text.size() < 2 || (text.back() != 'H' && text.back() != 'h')) return false;
    text.remove_suffix(1);
    uint32_t number = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || number > 0x0FFFFFFFu) return false;
        number = number * 16 + static_cast<uint32_t>(digit);
    }
    value = number;
    return true;
}

bool ReadDecimalValue(std::string_view text, int32_t& value) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty()) return false;  // a sign alone is no number
    constexpr uint32_t kLargest = 2147483647u;
    uint32_t magnitude = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return false;
        const auto digit = static_cast<uint32_t>(c - '0');
        if (magnitude > (kLargest - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
    return true;
}

bool ParseStatusLine(std::string_view line, uint32_t axis, AxisStatus& status) {
    Words words(line);
    std::string_view word;
    if (!words.Next(word) || word != "@STS") return false;
    int32_t number = 0;
    if (!words.Next(word) || !ReadDecimalValue(word, number) ||
        static_cast<uint32_t>(number) != axis || number < 0) {
        return false;
    }
    uint32_t hex[kHexKeys] = {};
    int32_t decimal[kKeyCount - kHexKeys] = {};
    bool seen[kKeyCount] = {};
    while (words.Next(word)) {
        for (size_t k = 0; k < kKeyCount; ++k) {
            if (!BeginsWith(word, kKeys[k])) continue;
            const std::string_view text = word.substr(kKeys[k].size());
            const bool read = k < kHexKeys ? ReadHexValue(text, hex[k])
                                           : ReadDecimalValue(text, decimal[k - kHexKeys]);
            if (seen[k] || !read) return false;
            seen[k] = true;
        }
    }
    for (const bool s : seen) {
        if (!s) return false;
    }
    status = {hex[0], hex[1], hex[2], decimal[0], decimal[1], decimal[2]};
    return true;
}

}  // namespace astrel::hirox
