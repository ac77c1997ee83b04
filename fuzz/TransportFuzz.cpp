// The transport's readers on a byte timeline. The first byte picks the line
// delimiter and the time-out; the rest are (gap, byte) pairs, each byte
// arriving `gap` ms after the one before it (a gap of 255: a second later).
// A reader call is made before each pair's arrival; the pair's gap byte picks
// which (ReceiveData, ReadLine or DiscardInput) and the buffer size.
#include <memory>

#include "FakeSerialDevice.h"
#include "serial/CSerialCommunication.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    astrel::test::FakeRig rig;
    CSerialCommunication port;
    rig.Attach(port);
    port.settings.delimiter = data[0] % 3;
    port.settings.timeOut = data[0] / 3 * 10;
    if (port.OpenPort() != 1) std::abort();
    uint32_t at = rig.clock.now_;
    for (size_t i = 1; i + 1 < size; i += 2) {
        at += data[i] == 255 ? 1000 : data[i];
        rig.line->input.emplace_back(at, data[i + 1]);
    }
    for (size_t i = 1; i < size; i += 2) {
        const int32_t bufferSize = data[i] % 40;
        auto buffer =
            std::make_unique<char[]>(size_t(bufferSize));  // exactly: ASan sees any overrun
        int32_t status = 0;
        switch (data[i] / 40 % 3) {
            case 0:
                port.ReceiveData(buffer.get(), bufferSize, &status);
                break;
            case 1:
                port.ReadLine(buffer.get(), bufferSize);
                break;
            default:
                port.DiscardInput();
        }
    }
    return 0;
}
