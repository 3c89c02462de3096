// The node's serial port over a non-blocking POSIX terminal: "COM" + CommPort through the
// device map, line parameters from CDcb, reads that never wait and writes in bounded chunks.
#pragma once

#include "tnc/cdcb.h"
#include "tnc/tnc_line.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace gw {

class CSerialPort final : public TncLine {
  public:
    static constexpr long kOpenError = static_cast<std::int32_t>(0x80047922u);
    static constexpr long kReadError = static_cast<std::int32_t>(0x80047925u);
    static constexpr std::size_t kReadChunk = 1000;
    static constexpr std::size_t kWriteChunk = 4000;

    CSerialPort() = default;
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool PortOpen() const override { return m_open; }
    // True opens (or reopens) the device; false closes it.
    void PortOpen(bool open);
    long CommPort() const { return m_commPort; }
    void CommPort(long port) { m_commPort = port; }
    // "baud,parity,data bits,stop bits"; anything but four fields is ignored.
    void Settings(const std::string& text);
    void FlowControl(bool hardware);
    bool FlowControl() const { return m_flowControl; }

    void DataToSend(std::string_view text) override;
    std::string DataToReceive() override;
    void Poll();

    bool CTS_ON() const;
    bool DSR_ON() const;
    bool RING_ON() const;
    bool RLSD_ON() const;

    CDcb& Dcb() { return m_dcb; }
    const CDcb& Dcb() const { return m_dcb; }
    // Text accepted but not yet taken by the device.
    std::size_t pendingOutput() const { return m_sendBuffer.size(); }

  private:
    void openComm(const std::string& device);
    void closeComm();
    void readComm();
    void writeComm();
    bool modemLine(int line) const;

    CDcb m_dcb;
    int m_fd = -1;
    long m_commPort = 1;
    bool m_open = false;
    bool m_flowControl = true;
    std::string m_sendBuffer;
    std::string m_receiveBuffer;
};

} // namespace gw
