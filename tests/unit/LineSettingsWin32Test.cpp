// The line settings as a Windows DCB: each code's member values, parity with
// its check flag, the four flow-control rows, and codes outside a table that
// leave that setting, like every member the settings do not name, as the port
// reported it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>

#include "serial/SerialDeviceWin32Dcb.h"

namespace astrel::test {
namespace {

// A DCB as a port might report it: every byte a value no setting produces.
DCB Reported() {
    DCB dcb;
    std::memset(&dcb, 0x5A, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    return dcb;
}

// Settings with the given codes; -1 is outside every table.
SerialSettings Codes(int32_t baud, int32_t parity, int32_t stop, int32_t data, int32_t flow) {
    SerialSettings s;
    s.baudRate = baud, s.parity = parity, s.stopBits = stop, s.dataBits = data;
    s.flowControl = flow;
    return s;
}

void Flow(DCB& d, DWORD dtr, DWORD rts, BOOL cts, BOOL dsr, BOOL xonXoff) {
    d.fDtrControl = dtr, d.fRtsControl = rts, d.fOutxCtsFlow = cts, d.fOutxDsrFlow = dsr;
    d.fOutX = d.fInX = xonXoff;
}

TEST(LineSettingsWin32, EachCodeSetsItsMembersAndNothingElse) {
    const struct {
        const char* name;
        SerialSettings settings;
        std::function<void(DCB&)> changes;  // to the reported DCB
    } rows[] = {
        // clang-format off
        {"codes below every table", Codes(-1, -1, -1, -1, -1), [](DCB&) {}},
        {"codes above every table", Codes(15, 5, 3, 2, 4), [](DCB&) {}},
        {"110 baud", Codes(0, -1, -1, -1, -1), [](DCB& d) { d.BaudRate = 110; }},
        {"14400 baud", Codes(7, -1, -1, -1, -1), [](DCB& d) { d.BaudRate = CBR_14400; }},
        {"256000 baud", Codes(14, -1, -1, -1, -1), [](DCB& d) { d.BaudRate = CBR_256000; }},
        {"even parity, checked", Codes(-1, 1, -1, -1, -1), [](DCB& d) { d.Parity = EVENPARITY, d.fParity = TRUE; }},
        {"odd parity", Codes(-1, 2, -1, -1, -1), [](DCB& d) { d.Parity = ODDPARITY, d.fParity = TRUE; }},
        {"mark parity", Codes(-1, 3, -1, -1, -1), [](DCB& d) { d.Parity = MARKPARITY, d.fParity = TRUE; }},
        {"space parity", Codes(-1, 4, -1, -1, -1), [](DCB& d) { d.Parity = SPACEPARITY, d.fParity = TRUE; }},
        {"one and a half", Codes(-1, -1, 1, -1, -1), [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
        {"two stop bits", Codes(-1, -1, 2, -1, -1), [](DCB& d) { d.StopBits = TWOSTOPBITS; }},
        {"seven data bits", Codes(-1, -1, -1, 0, -1), [](DCB& d) { d.ByteSize = 7; }},
        {"XON/XOFF both ways", Codes(-1, -1, -1, -1, 1),
         [](DCB& d) { Flow(d, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, FALSE, FALSE, TRUE); }},
        {"hardware handshake: CTS and DSR", Codes(-1, -1, -1, -1, 2),
         [](DCB& d) { Flow(d, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, TRUE, TRUE, FALSE); }},
        {"RTS/CTS: DSR ignored", Codes(-1, -1, -1, -1, 3),
         [](DCB& d) { Flow(d, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, TRUE, FALSE, FALSE), d.fDsrSensitivity = FALSE; }},
        {"a QT port's defaults: 9600 8N1, no flow control, lines raised", Codes(6, 0, 0, 1, 0),
         [](DCB& d) {
             d.BaudRate = CBR_9600, d.Parity = NOPARITY, d.fParity = FALSE, d.StopBits = ONESTOPBIT, d.ByteSize = 8;
             Flow(d, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, FALSE, FALSE, FALSE);
         }},
        // clang-format on
    };
    for (const auto& row : rows) {
        DCB actual = Reported();
        win32::ApplyLineSettings(actual, row.settings);
        DCB expected = Reported();
        row.changes(expected);
        EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << row.name;
    }
}

}  // namespace
}  // namespace astrel::test
