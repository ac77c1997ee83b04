// Stage handles and their records through the C interface: allocation,
// release, what a fresh handle holds and the serial parameters.
#include <array>
#include <cstring>
#include <string>

#include "Astrel.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace astrel::test {
namespace {

using Registry = NoHandlesTaken;

TEST_F(Registry, TenHandlesThenFullAndLowestFreeSlotReused) {
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(Astrel(), i);
    EXPECT_EQ(Astrel(), 0xFFFFFFFFu);
    ReleaseAstrel(3);
    ReleaseAstrel(7);
    EXPECT_EQ(Astrel(), 3u);
    EXPECT_EQ(Astrel(), 7u);
}

TEST_F(Registry, FreshHandleHoldsZeroedRecordAndNullsAreSafe) {
    const auto h = static_cast<int32_t>(Astrel());
    std::array<uint8_t, 18> bytes;
    bytes.fill(0xAA);
    EXPECT_EQ(GetCommunicationParam(h, reinterpret_cast<CommunicationParam*>(bytes.data())), 1);
    EXPECT_EQ(bytes, (std::array<uint8_t, 18>{}));
    EXPECT_EQ(GetUseMakerType(h), 0);
    EXPECT_EQ(StageName(h), "");
    const std::string name(40, 'N');  // kept whole, though a driver keeps 32 bytes
    SetUseStageName(h, name.c_str());
    EXPECT_EQ(StageName(h), name);
    SetUseStageName(h, nullptr);  // a null name is stored as empty; null records are refused
    EXPECT_EQ(StageName(h), "");
    EXPECT_EQ(SetCommunicationParam(h, nullptr), 0);
    EXPECT_EQ(GetCommunicationParam(h, nullptr), 0);
    FreeStageName(nullptr);
}

TEST_F(Registry, SevenFieldParamsReadBackWithDefaultTimeOutMarker) {
    const auto h = static_cast<int32_t>(Astrel());
    ASSERT_EQ(SetCommunicationParams(h, 2, 0xFFFF, 3, 4, 5, 6, 0xFFFE), 1);
    uint8_t bytes[18] = {};
    ASSERT_EQ(GetCommunicationParam(h, reinterpret_cast<CommunicationParam*>(bytes)), 1);
    const uint8_t expected[18] = {2, 0, 0xFF, 0xFF, 3,    0,    4,    0,    5,
                                  0, 6, 0,    0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
}

}  // namespace
}  // namespace astrel::test
