// The catalogue through the C interface: makers without lists, null buffers
// and the version. (Each maker's lists are the contracts'; the maker list's
// names are checked where they are read as text: by the tool and the Python
// package.)
#include <string>

#include "Astrel.h"
#include "gtest/gtest.h"

namespace {

// Null buffers and makers without lists (no driver, or none of that type)
// give 0 and write nothing; the axis count alone may be left out.
TEST(Catalogue, NullBuffersAndMakersWithoutListsGiveZero) {
    int32_t axes = 42;
    EXPECT_EQ(GetMakerListFirst(nullptr), 0);
    EXPECT_EQ(GetMakerListNext(nullptr), 0);
    EXPECT_EQ(GetStageListFirst(0, &axes, nullptr), 0);
    EXPECT_EQ(GetDeviceFunctionProperty(0, "QT3", 1, nullptr), 0);
    char name[64] = "untouched";
    for (const int16_t maker : {5, -1, 1000}) {  // 6 (CP-310): the contracts
        SCOPED_TRACE(maker);
        EXPECT_EQ(GetStageListFirst(maker, &axes, name) + GetSpeedUnitListFirst(maker, name) +
                      GetAcclUnitListFirst(maker, name) + GetStageListNext(&axes, name),
                  0);
    }
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(axes, 42);
    EXPECT_EQ(GetStageListFirst(0, nullptr, name), 1);
}

// The version's text is cut to the buffer, and the number is the same with
// any buffer or none.
TEST(Catalogue, TheVersionTextIsCutToTheBuffer) {
    char cut[3] = {'x', 'x', 'x'};
    EXPECT_EQ(AstrelVersion(cut, sizeof cut), AstrelVersion(nullptr, 0));
    EXPECT_EQ(std::string(cut).size(), 2u);
}

}  // namespace
