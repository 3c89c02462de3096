// What every simulated TNC offers the simulator: bytes from the host, and the radio side's
// users connecting, typing and leaving; it tells back what the node sent each user.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tncsim {

class SimTnc {
  public:
    virtual ~SimTnc() = default;
    virtual void fromHost(std::string_view bytes) = 0;
    virtual void userConnect(int port, char stream, const std::string& call) = 0;
    virtual void userData(int port, char stream, const std::string& text) = 0;
    virtual void userDisconnect(int port, char stream) = 0;
    // In the mode the node works in (host mode, converse mode).
    virtual bool working() const = 0;

    std::function<void(int port, char stream, const std::string& text)> toUser;
    std::function<void(int port, char stream)> droppedByNode;
    std::function<void(const std::string& line)> log;
};

} // namespace tncsim
