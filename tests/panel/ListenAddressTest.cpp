// Where astrel panel may listen, from the text of --listen: which addresses
// only this machine reaches, the address a browser opens, and the Host
// values that name the panel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ListenAddress.h"
#include "ToolError.h"

namespace astrel::tool {
namespace {

using ::testing::Contains;
using ::testing::Not;

TEST(ListenAddress, TellsLoopbackAndGivesAValidUrl) {
    const struct {
        const char* listen;
        const char* host;  // "": refused as a usage error
        bool loopback;
        const char* url;  // for port 8080
    } rows[] = {
        {"127.0.0.1:0", "127.0.0.1", true, "127.0.0.1:8080"},
        {"127.4.5.6:80", "127.4.5.6", true, "127.4.5.6:8080"},
        {"[::1]:0", "::1", true, "[::1]:8080"},
        {"[::ffff:127.0.0.1]:1", "::ffff:127.0.0.1", true, "[::ffff:127.0.0.1]:8080"},
        {"LocalHost:0", "LocalHost", true, "LocalHost:8080"},
        {"0.0.0.0:0", "0.0.0.0", false, "127.0.0.1:8080"},
        {"[::]:0", "::", false, "[::1]:8080"},
        {"192.168.1.5:8080", "192.168.1.5", false, "192.168.1.5:8080"},
        {"128.0.0.1:0", "128.0.0.1", false, "128.0.0.1:8080"},
        {"::1:0", "", false, ""},
        {"[::1]", "", false, ""},
        {"[::1]x:0", "", false, ""},
        {"[localhost]:0", "", false, ""},
        {":8080", "", false, ""},
        {"127.0.0.1:65536", "", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listen);
        if (*row.host == '\0') {
            EXPECT_THROW(ListenAddress::Parse(row.listen), ToolError);
            continue;
        }
        const ListenAddress address = ListenAddress::Parse(row.listen);
        EXPECT_EQ(address.host, row.host);
        EXPECT_EQ(address.Loopback(), row.loopback);
        EXPECT_EQ(address.UrlAuthority(8080), row.url);
    }
}

TEST(ListenAddress, HostNamesAreThePanelsOwnWithItsPort) {
    const std::vector<std::string> loopback = ListenAddress::Parse("[::1]:0").HostNames(8080);
    EXPECT_THAT(loopback, Contains("[::1]:8080"));
    EXPECT_THAT(loopback, Contains("localhost:8080"));
    EXPECT_THAT(loopback, Not(Contains("[::1]")));
    EXPECT_THAT(loopback, Not(Contains("localhost:8081")));
    // The usual port is left out of the Host a browser sends.
    EXPECT_THAT(ListenAddress::Parse("127.0.0.1:80").HostNames(80), Contains("127.0.0.1"));
    // Every address of the machine answers when it listens on all of them.
    EXPECT_THAT(ListenAddress::Parse("0.0.0.0:0").HostNames(8080), Contains("127.0.0.1:8080"));
}

}  // namespace
}  // namespace astrel::tool
