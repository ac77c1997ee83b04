// Stage handles and their records through the C interface: what a fresh
// handle holds. (That ten handles are given and then none, the last error's
// table shows; that a released slot is given again, every test that starts
// by releasing them all.)
#include <array>
#include <string>

#include "Astrel.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace astrel::test {
namespace {

using Registry = NoHandlesTaken;

TEST_F(Registry, FreshHandleHoldsZeroedRecordAndNullsAreSafe) {
    const auto h = static_cast<int32_t>(Astrel());
    std::array<uint8_t, 18> bytes;
    bytes.fill(0xAA);
    EXPECT_EQ(GetCommunicationParam(h, reinterpret_cast<CommunicationParam*>(bytes.data())), 1);
    EXPECT_EQ(bytes, (std::array<uint8_t, 18>{}));
    EXPECT_EQ(GetUseMakerType(h), 0);
    EXPECT_EQ(StageName(h), "");
    SetUseStageName(h, nullptr);  // a null name is stored as empty; null records are refused
    EXPECT_EQ(StageName(h), "");
    EXPECT_EQ(SetCommunicationParam(h, nullptr), 0);
    EXPECT_EQ(GetCommunicationParam(h, nullptr), 0);
    FreeStageName(nullptr);
}

}  // namespace
}  // namespace astrel::test
