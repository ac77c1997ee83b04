// Text the tool shows: maker names converted from code page 932, tables
// aligned by their width on a terminal, control bytes made visible.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace astrel::tool {

// `bytes` in code page 932 as UTF-8; bytes that do not convert are shown as \xNN.
std::string Cp932ToUtf8(std::string_view bytes);

// Columns `text` takes on a terminal: CJK and full-width characters take two.
size_t DisplayWidth(std::string_view utf8);

// `text` with the ASCII capitals made small: host names, header names.
std::string AsciiLower(std::string_view text);

// "HOST:PORT" split into its two parts; false when it is not one (a host,
// then a port from 0 to 65535 and nothing after it).
bool SplitHostPort(const std::string& text, std::string& host, uint16_t& port);

// CR, LF and other control bytes as \r, \n and \xNN.
std::string Visible(std::string_view bytes);

// "X 1200  Y -500  Z 0" for the first `axes` axes.
std::string PositionText(const std::array<int32_t, 3>& xyz, int axes = 3);

// The items (strings or string views) with `separator` between them.
template <class Range>
std::string Join(const Range& items, std::string_view separator) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += separator;
        text += item;
    }
    return text;
}

// Rows of cells printed in columns two spaces apart, the first row a heading.
class Table {
  public:
    void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    void Print(std::FILE* out) const;

  private:
    std::vector<std::vector<std::string>> rows_;
};

}  // namespace astrel::tool
