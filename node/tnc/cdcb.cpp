// Line parameters: validation with the node's error texts and the termios translation.
#include "tnc/cdcb.h"

#include "common/node_error.h"
#include "tnc/serial_speed.h"

#include <algorithm>
#include <array>
#include <sys/ioctl.h>
#include <termios.h>

namespace gw {
namespace {
constexpr std::array<std::int32_t, 15> kBaudRates{110,   300,   600,    1200,   2400,
                                                  4800,  9600,  14400,  19200,  38400,
                                                  56000, 57600, 115200, 128000, 256000};
[[noreturn]] void reject(const char* description) {
    throw NodeError(CDcb::kErrorNumber, "CDcb", description);
}
} // namespace

void CDcb::BaudRate(std::int32_t value) {
    if (std::find(kBaudRates.begin(), kBaudRates.end(), value) == kBaudRates.end())
        reject("Invalid baud rate");
    m_baudRate = value;
}

void CDcb::ByteSize(std::uint8_t value) {
    if (value < 4 || value > 8) reject("Invalid Byte size setting");
    m_byteSize = value;
}

void CDcb::Parity(std::uint8_t value) {
    if (value > 4) reject("Invalid Parity setting");
    m_parity = value;
}

void CDcb::StopBits(std::uint8_t value) {
    if (value > 2) reject("Invalid Stop bits");
    m_stopBits = value;
}

void CDcb::fillTermios(termios& tio) const {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // Linux has no 4-bit characters; 5 is the nearest the hardware offers.
    switch (m_byteSize) {
    case 4:
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    switch (m_parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (m_stopBits != 0) tio.c_cflag |= CSTOPB; // 1.5 stop bits is CSTOPB with 5-bit characters
    if (m_flags & kFlagOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    // Reads return at once with what is queued.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

void CDcb::SetPortState(int fd) const {
    if (fd < 0) return;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    fillTermios(tio);
    tcsetattr(fd, TCSANOW, &tio);
    setLineSpeed(fd, m_baudRate);
    // DTR is enabled in both flag words; RTS is held on without handshake and raised for it.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
}

} // namespace gw
