// What the TNC side needs of a serial port: text out, text in, whether it is open. The node's
// CSerialPort is one; tests put a fake in its place.
#pragma once

#include <string>
#include <string_view>

namespace gw {

class SerialLink {
  public:
    virtual ~SerialLink() = default;
    virtual bool PortOpen() const = 0;
    // Queues text for the line; text given while the port is closed is dropped.
    virtual void DataToSend(std::string_view text) = 0;
    // Everything received since the last call; raises NodeError when the device fails.
    virtual std::string DataToReceive() = 0;
};

} // namespace gw
