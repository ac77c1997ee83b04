// Stage handles and their records through the C interface: allocation,
// release, what a fresh handle holds and the serial parameters.
#include <array>
#include <string>

#include "Astrel.h"
#include "StageHandles.h"
#include "gtest/gtest.h"

namespace astrel::test {
namespace {

using Registry = NoHandlesTaken;

// Ten handles, numbered from 0, and then none. (That a released slot is
// taken again, every test that starts by releasing them all shows.)
TEST_F(Registry, TenHandlesThenFull) {
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(Astrel(), i);
    EXPECT_EQ(Astrel(), 0xFFFFFFFFu);
}

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
