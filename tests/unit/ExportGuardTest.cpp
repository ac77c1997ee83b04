// The shape every export of a handle shares, on the library's own handle
// table: an allocation that fails still ends the call's error record.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>

#include "ExportGuard.h"

namespace astrel::test {
namespace {

TEST(ExportGuard, ACallOutOfMemoryRecordsIt) {
    const auto h = static_cast<int32_t>(TheApp().Allocate());
    WithRecord("GetStageStatus", 99, 0, [](CAstrelData&) { return 1; });  // an earlier failure
    const int32_t result = WithRecord("SetUseStageName", h, -1,
                                      [](CAstrelData&) -> int32_t { throw std::bad_alloc(); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(LastErrorCode(), ASTREL_ERROR_NO_MEMORY);
    EXPECT_EQ(std::string(LastErrorText()),
              "SetUseStageName on handle " + std::to_string(h) + ": out of memory");
    TheApp().Release(h);
}

}  // namespace
}  // namespace astrel::test
