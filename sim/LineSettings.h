// The serial line settings a controller runs with. A host whose settings
// differ is heard as noise: the controller neither carries out nor answers
// what it sent.
#pragma once

#include <cstdint>
#include <string_view>

namespace astrel::sim {

enum class Parity { kNone, kEven, kOdd, kMark, kSpace };
enum class FlowControl { kNone, kXonXoff, kRtsCts };

struct LineSettings {
    uint32_t baud = 9600;
    int stopBits = 1;  // 1 or 2
    Parity parity = Parity::kNone;
    FlowControl flowControl = FlowControl::kNone;
    std::string_view hostLineEnd = "\r\n";  // what ends each command line
};

}  // namespace astrel::sim
