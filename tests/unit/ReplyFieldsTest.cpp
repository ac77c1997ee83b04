// The reply and command text helpers shared by the maker drivers.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "driver/ReplyFields.h"

namespace astrel {
namespace {

std::vector<std::string> Split(std::string_view text, size_t max) {
    std::string_view fields[8];
    const size_t n = SplitFields(text, ',', fields, max);
    return {fields, fields + n};
}

using Fields = std::vector<std::string>;

TEST(ReplyFields, SplitSkipsEmptyFieldsAndStopsAtTheLimit) {
    EXPECT_EQ(Split("1,2,3", 8), (Fields{"1", "2", "3"}));
    EXPECT_EQ(Split(",,a,,b,", 8), (Fields{"a", "b"}));
    EXPECT_EQ(Split("", 8), Fields{});
    EXPECT_EQ(Split(",,,", 8), Fields{});
    EXPECT_EQ(Split("1,2,3,4", 3), (Fields{"1", "2", "3"}));
    EXPECT_EQ(Split("1,2", 0), Fields{});
    EXPECT_EQ(Split(" a , b", 8), (Fields{" a ", " b"}));
}

TEST(ReplyFields, ReplyTextEndsAtNulOrSize) {
    const char buffer[6] = {'a', 'b', '\0', 'c', 'd', 'e'};
    EXPECT_EQ(ReplyText(buffer, sizeof buffer), "ab");
    const char full[3] = {'x', 'y', 'z'};  // no terminator: the size bounds it
    EXPECT_EQ(ReplyText(full, sizeof full), "xyz");
    EXPECT_EQ(ReplyText(nullptr, 10), "");
}

TEST(ReplyFields, ReadLeadingDecimal) {
    const struct {
        const char* text;
        bool ok;
        int32_t value;
    } rows[] = {
        {"0", true, 0},
        {"123abc", true, 123},
        {"  \t\r\n\v\f-45", true, -45},
        {"+7", true, 7},
        {"2147483647", true, INT32_MAX},
        {"2147483648", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"-2147483649", true, INT32_MIN},
        {"000000000000000000000000000012", true, 12},
        {"99999999999999999999999999999999999999", true, INT32_MAX},
        {"-99999999999999999999999999999999999999", true, INT32_MIN},
        {"", false, -1},
        {" ", false, -1},
        {"+", false, -1},
        {"-", false, -1},
        {"- 1", false, -1},
        {"x1", false, -1},
        {"\xff"
         "1",
         false, -1},
    };
    for (const auto& row : rows) {
        int32_t value = -1;
        EXPECT_EQ(ReadLeadingDecimal(row.text, value), row.ok) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
    // The view's end bounds the number, not a terminator.
    int32_t value = 0;
    EXPECT_TRUE(ReadLeadingDecimal(std::string_view("12345", 2), value));
    EXPECT_EQ(value, 12);
}

TEST(ReplyFields, FormatTextRefusesTruncation) {
    char buffer[8];
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "%s%d", "AB", 12345));
    EXPECT_STREQ(buffer, "AB12345");
    EXPECT_FALSE(FormatText(buffer, sizeof buffer, "%s%d", "AB", 123456));
    EXPECT_FALSE(FormatText(buffer, 0, "x"));
    EXPECT_FALSE(FormatText(nullptr, 4, "x"));
}

}  // namespace
}  // namespace astrel
