// The request head the panel's gate reads before a request may take a
// serving thread: when it is complete, and who and what it asks for.
#include <gtest/gtest.h>

#include "RequestHead.h"

namespace astrel::tool {
namespace {

TEST(RequestHead, EndsAtItsEmptyLineWithEitherLineEnd) {
    const struct {
        const char* bytes;
        size_t end;  // 0: not complete
    } rows[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\nbody", 27},
        {"GET / HTTP/1.1\nHost: a\n\nbody", 24},
        {"GET / HTTP/1.1\r\nHost: a\r\n", 0},
        {"GET / HTTP/1.1\r\nHost: a\r\n\r", 0},
        {"", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(HeadEnd(row.bytes).value_or(0), row.end);
    }
}

TEST(RequestHead, NamesThePathTheParametersAndTheFields) {
    const auto head = ParseHead(
        "POST /api/stop?seat=3&token=ab%20c&x HTTP/1.1\r\nHOST: Example:80 \r\n"
        "X-Astrel-Token:\tkey\r\n\r\n");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->method, "POST");
    EXPECT_EQ(head->path, "/api/stop");
    EXPECT_EQ(head->Param("seat"), "3");
    EXPECT_EQ(head->Param("token"), "ab%20c");
    EXPECT_EQ(head->Param("x"), "");
    EXPECT_EQ(head->Param("tok"), "");
    EXPECT_EQ(head->Field("host"), "Example:80");
    EXPECT_EQ(head->Field("x-astrel-token"), "key");
    EXPECT_EQ(head->Field("cookie"), "");
    for (const char* broken : {"GET\r\n\r\n", "GET / HTTP/1.1\r\nno colon\r\n\r\n"}) {
        EXPECT_FALSE(ParseHead(broken)) << broken;
    }
}

}  // namespace
}  // namespace astrel::tool
