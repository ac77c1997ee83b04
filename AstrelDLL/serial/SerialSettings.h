// Line settings of one serial port and the meaning of their codes.
#pragma once

#include <cstdint>
#include <iterator>

// The eight settings the transport opens a port with. Codes, not raw values:
// the code tables live next to the fields.
struct SerialSettings {
    int32_t port = 0;         // 0..9: COM1..COM10; anything else names no port
    int32_t baudRate = 6;     // index into kBaudRates (6: 9600 baud)
    int32_t parity = 0;       // 0 none, 1 even, 2 odd, 3 mark, 4 space
    int32_t stopBits = 0;     // 0 one, 1 one and a half, 2 two
    int32_t dataBits = 1;     // 0 seven bits, 1 eight bits
    int32_t flowControl = 0;  // 0 none, 1 XON/XOFF, 2 hardware handshake, 3 RTS/CTS
    int32_t delimiter = 0;    // 0 CR LF, 1 CR, 2 LF
    int32_t timeOut = 5000;   // reply time-out in milliseconds
};

namespace astrel {

inline constexpr int32_t kPortCount = 10;

// Baud rate of each baud-rate code 0..14.
inline constexpr uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
inline constexpr int32_t kBaudRateCount = static_cast<int32_t>(std::size(kBaudRates));

enum DelimiterCode : int32_t { kDelimiterCrLf = 0, kDelimiterCr = 1, kDelimiterLf = 2 };

}  // namespace astrel
