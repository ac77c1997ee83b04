// The status line a Hirox controller answers "@STS n ?" with:
//
//   @STS <axis> STS=<hex>H INP=<hex>H OUT=<hex>H POS=<dec> ENC=<dec> SPD=<dec>
//
// Words are separated by tab, line feed, vertical tab, form feed, carriage
// return or space. After the "@STS" word and the axis number the six keyed
// words come once each, in any order; words with other beginnings are passed
// over. A line that breaks any of these rules is refused as a whole.
#pragma once

#include <cstdint>
#include <string_view>

namespace astrel::hirox {

// The six values of one axis's status line.
struct AxisStatus {
    uint32_t sts = 0;  // status word
    uint32_t inp = 0;
    uint32_t out = 0;
    int32_t pos = 0;  // position counter
    int32_t enc = 0;
    int32_t spd = 0;
};

// The words of a line, one at a time.
class Words {
  public:
    explicit Words(std::string_view line) : rest_(line) {}
    // The next word; false, `word` untouched, once the line has none left.
    bool Next(std::string_view& word);

  private:
    std::string_view rest_;
};

// Whether `line` holds a status answer at all: its first character after
// separators is "@". The controller's other lines are passed over.
bool BeginsWithAt(std::string_view line);

// One or more hexadecimal digits followed by "H" or "h", nothing after it,
// at most FFFFFFFF. False, `value` untouched, for anything else.
bool ReadHexValue(std::string_view text, uint32_t& value);

// An optional "+" or "-" and one or more decimal digits, nothing after them,
// at most 2147483647 in magnitude. False, `value` untouched, for anything else.
bool ReadDecimalValue(std::string_view text, int32_t& value);

// Reads the status line of controller axis `axis` into `status`. False,
// `status` untouched, when the line is not a complete status answer of that axis.
bool ParseStatusLine(std::string_view line, uint32_t axis, AxisStatus& status);

}  // namespace astrel::hirox
