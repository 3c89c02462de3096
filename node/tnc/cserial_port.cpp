// The serial port: open through the device map, non-blocking reads of at most 1000 bytes,
// writes of at most 4000 characters with the rest kept for the next call.
#include "tnc/cserial_port.h"

#include "common/node_error.h"
#include "common/text.h"
#include "tnc/device_map.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {
// The conversions the setup's texts go through; a bad number is the caller's error.
std::int32_t wholeNumber(const std::string& field) {
    if (!isNumeric(field)) throw NodeError(13, "CSerialPort", "Type mismatch");
    const double value = numericValue(field);
    if (value < -2147483648.0 || value > 2147483647.0)
        throw NodeError(6, "CSerialPort", "Overflow");
    return static_cast<std::int32_t>(roundHalfEven(value));
}

std::uint8_t byteNumber(const std::string& field) {
    const std::int32_t value = wholeNumber(field);
    if (value < 0 || value > 255) throw NodeError(6, "CSerialPort", "Overflow");
    return static_cast<std::uint8_t>(value);
}
} // namespace

CSerialPort::~CSerialPort() {
    closeComm();
}

void CSerialPort::PortOpen(bool open) {
    if (open)
        openComm(commDevicePath(m_commPort));
    else
        closeComm();
}

void CSerialPort::Settings(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(trim(std::string_view(text).substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return;
    m_dcb.BaudRate(wholeNumber(fields[0]));
    const std::string parity = toUpper(fields[1]);
    m_dcb.Parity(parity == "O" ? 1 : parity == "E" ? 2 : parity == "M" ? 3 : parity == "S" ? 4 : 0);
    m_dcb.ByteSize(byteNumber(fields[2]));
    m_dcb.StopBits(fields[3] == "1.5" ? 1 : fields[3] == "2" ? 2 : 0);
}

void CSerialPort::FlowControl(bool hardware) {
    const std::uint32_t kept = m_dcb.Flags() & 0xFFBu;
    m_dcb.Flags(kept | (hardware ? kFlagsHardwareHandshake : kFlagsNoFlowControl));
    m_flowControl = hardware;
}

void CSerialPort::openComm(const std::string& device) {
    closeComm();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw NodeError(kOpenError, "CSerialPort", "Unable to open communications device");
    // No sharing: a second opener (another instance on the same port) is refused.
    ioctl(fd, TIOCEXCL);
    m_fd = fd;
    m_dcb.SetPortState(m_fd);
    m_open = true;
}

void CSerialPort::closeComm() {
    m_open = false;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void CSerialPort::DataToSend(std::string_view text) {
    if (m_fd < 0) return;
    m_sendBuffer.append(text);
    writeComm();
}

std::string CSerialPort::DataToReceive() {
    writeComm();
    readComm();
    std::string text;
    text.swap(m_receiveBuffer);
    return text;
}

void CSerialPort::Poll() {
    writeComm();
    readComm();
}

void CSerialPort::readComm() {
    if (m_fd < 0) return;
    char buffer[kReadChunk];
    const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
    if (count > 0) {
        m_receiveBuffer.append(buffer, static_cast<std::size_t>(count));
        return;
    }
    if (count < 0 && errno != EAGAIN && errno != EINTR)
        throw NodeError(kReadError, "CSerialPort", "Failure on Comm device read operation");
    if (count == 0) {
        // A terminal set to return at once reads 0 both when idle and when hung up (an
        // adapter unplugged); only the hang-up shows in poll.
        pollfd probe{m_fd, POLLIN, 0};
        if (::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)))
            throw NodeError(kReadError, "CSerialPort", "Failure on Comm device read operation");
    }
}

void CSerialPort::writeComm() {
    if (m_fd < 0 || m_sendBuffer.empty()) return;
    const std::size_t chunk = std::min(m_sendBuffer.size(), kWriteChunk);
    const ssize_t written = ::write(m_fd, m_sendBuffer.data(), chunk);
    if (written > 0) {
        m_sendBuffer.erase(0, static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        // The device refused the text outright: it is lost, and later text must not wait
        // behind it for a completion that will never come.
        m_sendBuffer.erase(0, chunk);
    }
}

bool CSerialPort::modemLine(int line) const {
    if (m_fd < 0) return false;
    int lines = 0;
    if (ioctl(m_fd, TIOCMGET, &lines) != 0) return false;
    return (lines & line) != 0;
}

bool CSerialPort::CTS_ON() const {
    return modemLine(TIOCM_CTS);
}
bool CSerialPort::DSR_ON() const {
    return modemLine(TIOCM_DSR);
}
bool CSerialPort::RING_ON() const {
    return modemLine(TIOCM_RI);
}
bool CSerialPort::RLSD_ON() const {
    return modemLine(TIOCM_CD);
}

} // namespace gw
