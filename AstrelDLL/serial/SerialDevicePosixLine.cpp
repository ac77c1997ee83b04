#include "serial/SerialDevicePosixLine.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <iterator>

namespace astrel::posix {
namespace {

// termios speed constants of the baud-rate codes; 0 where termios has none.
constexpr speed_t kSpeeds[] = {B110,   B300,   B600, B1200,  B2400,   B4800, B9600, 0,
                               B19200, B38400, 0,    B57600, B115200, 0,     0};
static_assert(std::size(kSpeeds) == std::size(kBaudRates));

void ApplyParity(termios& t, int32_t code) {
    const tcflag_t bits[] = {0, PARENB, PARENB | PARODD, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    if (code < 0 || code > 4) return;
    t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR)) | bits[code];
    if (code == 0) {
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    } else {
        t.c_iflag |= INPCK;
    }
}

void ApplyFlowControl(int fd, termios& t, int32_t code) {
    if (code < 0 || code > 3) return;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (code == 1) t.c_iflag |= IXON | IXOFF;
    if (code >= 2) t.c_cflag |= CRTSCTS;  // DSR has no handshake of its own here
    // DTR and RTS are raised while the port is open; devices without modem
    // lines (pseudo-terminals) refuse this, which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
}

void SetRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

}  // namespace

bool MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    SetRaw(t);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool ApplyLineSettings(int fd, const SerialSettings& s) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    SetRaw(t);

    uint32_t customBaud = 0;
    if (s.baudRate >= 0 && s.baudRate < kBaudRateCount) {
        const speed_t speed = kSpeeds[s.baudRate];
        if (speed != 0) {
            ::cfsetispeed(&t, speed);
            ::cfsetospeed(&t, speed);
        } else {
            customBaud = kBaudRates[s.baudRate];
        }
    }
    ApplyParity(t, s.parity);
    if (s.stopBits == 0) t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    if (s.stopBits == 1 || s.stopBits == 2) t.c_cflag |= CSTOPB;  // one and a half: nearest is two
    if (s.dataBits == 0 || s.dataBits == 1) {
        t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | (s.dataBits == 0 ? CS7 : CS8);
    }
    ApplyFlowControl(fd, t, s.flowControl);

    if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
    return customBaud == 0 || SetCustomBaudRate(fd, customBaud);
}

LineErrorCounter::LineErrorCounter(int fd) : fd_(fd) {
    serial_icounter_struct counts{};
    supported_ = ::ioctl(fd_, TIOCGICOUNT, &counts) == 0;
    if (supported_) last_ = Total();
}

uint64_t LineErrorCounter::Total() const {
    serial_icounter_struct c{};
    if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return last_;
    return static_cast<uint64_t>(static_cast<unsigned>(c.frame)) + static_cast<unsigned>(c.parity) +
           static_cast<unsigned>(c.overrun) + static_cast<unsigned>(c.brk) +
           static_cast<unsigned>(c.buf_overrun);
}

bool LineErrorCounter::Changed() {
    if (!supported_) return false;
    const uint64_t now = Total();
    const bool changed = now != last_;
    last_ = now;
    return changed;
}

}  // namespace astrel::posix
