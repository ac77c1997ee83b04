// How a handle's CommunicationParam and the driver defaults become the
// settings a port opens with.
#include <string>

#include "CommunicationParams.h"
#include "gtest/gtest.h"
#include "makers/CAstrelQT.h"

namespace {

SerialSettings Merge(const CommunicationParam& param) {
    CAstrelQT driver;
    return astrel::MergeCommunicationParam(param, driver);
}

TEST(CommunicationParams, DefaultMarkersTakeTheDriverDefaults) {
    const SerialSettings s = Merge({2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, -1});
    EXPECT_EQ(s.port, 2);
    EXPECT_EQ(s.baudRate, 6);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(s.dataBits, 1);
    EXPECT_EQ(s.flowControl, 0);
    EXPECT_EQ(s.delimiter, 0);
    EXPECT_EQ(s.timeOut, 5000);
}

TEST(CommunicationParams, ZeroIsARealCodeAndFieldsAreSignExtended) {
    const SerialSettings zero = Merge({});
    EXPECT_EQ(zero.port, 0);
    EXPECT_EQ(zero.baudRate, 0);
    EXPECT_EQ(zero.dataBits, 0);  // the driver's default would be 1
    EXPECT_EQ(zero.timeOut, 5000);

    const SerialSettings odd = Merge({0xFFFF, 0xFFFE, 1, 0, 2, 3, 0x8000, 7});
    EXPECT_EQ(odd.port, -1);  // the port is never defaulted
    EXPECT_EQ(odd.baudRate, -2);
    EXPECT_EQ(odd.parity, 1);
    EXPECT_EQ(odd.dataBits, 0);
    EXPECT_EQ(odd.stopBits, 2);
    EXPECT_EQ(odd.flowControl, 3);
    EXPECT_EQ(odd.delimiter, -32768);
}

TEST(CommunicationParams, TimeOutOfZeroOrLessBecomesFiveSeconds) {
    const struct {
        int32_t given;
        int32_t used;
    } cases[] = {{0, 5000}, {-5, 5000}, {-1, 5000}, {INT32_MIN, 5000}, {1, 1}, {250, 250}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(Merge({0, 0, 0, 0, 0, 0, 0, c.given}).timeOut, c.used);
    }
}

TEST(CommunicationParams, DriverKeepsAtMostThirtyTwoBytesOfTheName) {
    CAstrelQT driver;
    const std::string name(40, 'N');
    driver.SetStageName(name.c_str());
    EXPECT_EQ(std::string(driver.StageName()), name.substr(0, 32));
    driver.SetStageName(nullptr);
    EXPECT_STREQ(driver.StageName(), "");
}

}  // namespace
