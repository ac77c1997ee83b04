#include "serial/SerialDeviceWin32Dcb.h"

#include <iterator>

namespace astrel::win32 {
namespace {

// The lines and handshakes of one flow-control code.
struct Flow {
    DWORD dtr;         // fDtrControl
    DWORD rts;         // fRtsControl
    bool ctsHoldsOut;  // fOutxCtsFlow: output waits while CTS is low
    bool dsrHoldsOut;  // fOutxDsrFlow: output waits while DSR is low
    bool xonXoff;      // fOutX and fInX
};

// Flow-control codes 0 none, 1 XON/XOFF, 2 hardware handshake, 3 RTS/CTS.
constexpr Flow kFlows[] = {
    {DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, false, false, false},
    {DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, false, false, true},
    {DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, true, true, false},
    {DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, true, false, false},
};
constexpr int32_t kRtsCts = 3;

// Parity codes 0 none, 1 even, 2 odd, 3 mark, 4 space.
constexpr BYTE kParities[] = {NOPARITY, EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY};
// Stop-bits codes 0 one, 1 one and a half, 2 two.
constexpr BYTE kStopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
// Data-bits codes 0 seven, 1 eight.
constexpr BYTE kDataBits[] = {7, 8};

template <typename T, size_t N>
bool InTable(int32_t code, const T (&)[N]) {
    return code >= 0 && static_cast<size_t>(code) < N;
}

}  // namespace

void ApplyLineSettings(DCB& dcb, const SerialSettings& s) {
    if (InTable(s.baudRate, kBaudRates)) dcb.BaudRate = kBaudRates[s.baudRate];
    if (InTable(s.parity, kParities)) {
        dcb.Parity = kParities[s.parity];
        dcb.fParity = s.parity != 0;
    }
    if (InTable(s.stopBits, kStopBits)) dcb.StopBits = kStopBits[s.stopBits];
    if (InTable(s.dataBits, kDataBits)) dcb.ByteSize = kDataBits[s.dataBits];
    if (InTable(s.flowControl, kFlows)) {
        const Flow& flow = kFlows[s.flowControl];
        dcb.fDtrControl = flow.dtr;
        dcb.fRtsControl = flow.rts;
        dcb.fOutxCtsFlow = flow.ctsHoldsOut;
        dcb.fOutxDsrFlow = flow.dsrHoldsOut;
        dcb.fOutX = flow.xonXoff;
        dcb.fInX = flow.xonXoff;
        // RTS/CTS ignores DSR altogether; the other codes keep the port's DSR sensitivity.
        if (s.flowControl == kRtsCts) dcb.fDsrSensitivity = FALSE;
    }
}

}  // namespace astrel::win32
