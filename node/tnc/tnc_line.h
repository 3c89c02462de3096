// The line to a TNC: the serial port, or the AGW driver's TCP connection to a modem program.
// Text out, text in, whether it is open; tests put a fake in its place.
#pragma once

#include <string>
#include <string_view>

namespace gw {

class TncLine {
  public:
    virtual ~TncLine() = default;
    virtual bool PortOpen() const = 0;
    // Queues text for the line; text given while the line is closed is dropped.
    virtual void DataToSend(std::string_view text) = 0;
    // Everything received since the last call; raises NodeError when the line fails.
    virtual std::string DataToReceive() = 0;
};

} // namespace gw
