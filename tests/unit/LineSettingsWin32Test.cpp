// The line settings as a Windows DCB: each code's member values (a row sets
// codes of several settings), parity with its check flag, the flow-control
// codes, and codes outside a table that leave that setting, like every member
// the settings do not name, as the port reported it. A port's defaults (9600
// baud, 8N1, no flow control) are shown by the COM port tests under Wine,
// whose controllers hear nothing at other settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

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

void Flow(DCB& d, DWORD dtr, DWORD rts, BOOL cts, BOOL dsr, BOOL xonXoff) {
    d.fDtrControl = dtr, d.fRtsControl = rts, d.fOutxCtsFlow = cts, d.fOutxDsrFlow = dsr;
    d.fOutX = d.fInX = xonXoff;
}

TEST(LineSettingsWin32, EachCodeSetsItsMembersAndNothingElse) {
    const struct {
        const char* name;
        SerialSettings settings;  // port, then the codes of baud, parity, stop, data, flow; -1 none
        void (*changes)(DCB&);    // to the reported DCB
    } rows[] = {
        // clang-format off
        {"codes outside every table", {0, -1, 5, 3, 2, 4}, [](DCB&) {}},
        {"14400 baud 7E2: even parity, checked", {0, 7, 1, 2, 0, -1}, [](DCB& d) { d.BaudRate = CBR_14400, d.ByteSize = 7, d.Parity = EVENPARITY, d.fParity = TRUE, d.StopBits = TWOSTOPBITS; }},
        {"odd parity, 1.5 stop bits, XON/XOFF both ways", {0, -1, 2, 1, -1, 1}, [](DCB& d) { d.Parity = ODDPARITY, d.fParity = TRUE, d.StopBits = ONE5STOPBITS; Flow(d, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, FALSE, FALSE, TRUE); }},
        {"mark parity, hardware handshake: CTS and DSR", {0, -1, 3, -1, -1, 2}, [](DCB& d) { d.Parity = MARKPARITY, d.fParity = TRUE; Flow(d, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, TRUE, TRUE, FALSE); }},
        {"space parity, RTS/CTS: DSR ignored", {0, -1, 4, -1, -1, 3}, [](DCB& d) { d.Parity = SPACEPARITY, d.fParity = TRUE, d.fDsrSensitivity = FALSE; Flow(d, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, TRUE, FALSE, FALSE); }},
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
