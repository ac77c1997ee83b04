#include "SimText.h"

#include <algorithm>
#include <limits>

namespace astrel::sim {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

int FindIgnoringCase(std::span<const std::string_view> names, std::string_view name) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoringCase(names[i], name)) return static_cast<int>(i);
    }
    return -1;
}

bool TakeSigned(std::string_view& text, int64_t& value) {
    std::string_view rest = text;
    const bool negative = !rest.empty() && rest.front() == '-';
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
    if (rest.empty() || rest.front() < '0' || rest.front() > '9') return false;
    int64_t magnitude = 0;
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
        magnitude = std::min<int64_t>(magnitude * 10 + (rest.front() - '0'), kLargestNumber);
        rest.remove_prefix(1);
    }
    value = negative ? -magnitude : magnitude;
    text = rest;
    return true;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

int32_t SaturateToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::string Join(const std::vector<std::string>& fields, std::string_view separator) {
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) joined += separator;
        joined += fields[i];
    }
    return joined;
}

}  // namespace astrel::sim
