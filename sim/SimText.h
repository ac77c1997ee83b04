// Small text helpers that every controller dialect needs: names compared
// without regard to ASCII case, decimal numbers read from the front of a
// command, and reply fields joined by a separator.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace astrel::sim {

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The index of `name` in `names` ignoring ASCII case, or -1.
int FindIgnoringCase(std::span<const std::string_view> names, std::string_view name);

// Reads an optional "+" or "-" and at least one decimal digit from the front
// of `text` and removes them. Numbers too large for any stage saturate at
// plus or minus kLargestNumber. False (and `text` unchanged) when no digit follows.
inline constexpr int64_t kLargestNumber = 1'000'000'000'000'000;
bool TakeSigned(std::string_view& text, int64_t& value);

// Removes `prefix` from the front of `text` when it is there.
bool TakePrefix(std::string_view& text, std::string_view prefix);

int32_t SaturateToInt32(int64_t value);

std::string Join(const std::vector<std::string>& fields, std::string_view separator);

}  // namespace astrel::sim
