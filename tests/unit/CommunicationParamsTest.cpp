// How a handle's CommunicationParam and the driver defaults become the
// settings a port opens with.
#include <array>
#include <string>

#include "CommunicationParams.h"
#include "gtest/gtest.h"
#include "makers/CAstrelQT.h"

namespace {

// Port, baud rate, parity, stop bits, data bits, flow control, delimiter, time-out.
using Settings = std::array<int32_t, 8>;

TEST(CommunicationParams, MarkersTakeDriverDefaultsAndZeroIsACode) {
    const struct {
        const char* name;
        CommunicationParam given;  // data bits come before stop bits here
        Settings used;
    } cases[] = {
        // clang-format off
        {"DefaultMarkers", {2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, -1}, {2, 6, 0, 0, 1, 0, 0, 5000}},
        {"ZeroIsARealCode", {}, {0, 0, 0, 0, 0, 0, 0, 5000}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAstrelQT driver;
        const SerialSettings s = astrel::MergeCommunicationParam(c.given, driver);
        EXPECT_EQ((Settings{s.port, s.baudRate, s.parity, s.stopBits, s.dataBits, s.flowControl,
                            s.delimiter, s.timeOut}),
                  c.used);
    }
}

}  // namespace
