// The line parameters of the serial port (speed, framing, parity, flow-control flags) with the
// values and errors the node's setup relies on, and their translation into termios.
#pragma once

#include <cstdint>

struct termios;

namespace gw {

// The flags words the node uses, in the bit layout the node's settings were written for.
inline constexpr std::uint32_t kFlagsHardwareHandshake =
    0x2015; // binary, CTS out, DTR on, RTS handshake
inline constexpr std::uint32_t kFlagsNoFlowControl = 0x1011; // binary, DTR on, RTS held on
inline constexpr std::uint32_t kFlagOutxCtsFlow = 0x0004;

class CDcb {
  public:
    static constexpr long kErrorNumber = static_cast<std::int32_t>(0x80047918u);

    std::int32_t BaudRate() const { return m_baudRate; }
    void BaudRate(std::int32_t value);
    std::uint32_t Flags() const { return m_flags; }
    void Flags(std::uint32_t value) { m_flags = value; }
    std::uint8_t ByteSize() const { return m_byteSize; }
    void ByteSize(std::uint8_t value);
    std::uint8_t Parity() const { return m_parity; } // 0 none, 1 odd, 2 even, 3 mark, 4 space
    void Parity(std::uint8_t value);
    std::uint8_t StopBits() const { return m_stopBits; } // 0 one, 1 one and a half, 2 two
    void StopBits(std::uint8_t value);

    // Writes the parameters into a raw-mode termios block (speed excepted, see serial_speed.h).
    void fillTermios(termios& tio) const;
    // Applies everything to an open terminal descriptor; failures are left to the next read
    // or write to show, as the node has always done.
    void SetPortState(int fd) const;

  private:
    std::int32_t m_baudRate = 9600;
    std::uint32_t m_flags = kFlagsHardwareHandshake;
    std::uint8_t m_byteSize = 8;
    std::uint8_t m_parity = 0;
    std::uint8_t m_stopBits = 0;
};

} // namespace gw
