// What every simulated TNC offers the simulator: bytes from the host, and the radio side's
// users connecting, typing and leaving; it tells back what the node sent each user.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

    // The link messages beyond a plain connect and disconnect, in the TNC's own wording.
    enum class Link {
        ConnectColon,   // "*** CONNECTED to: CALL", as some MFJ firmware prints it
        ConnectRequest, // "*** connect request: CALL"; the stream stays as it is
        RetryExceeded,  // "*** retry count exceeded" and "*** DISCONNECTED" in one write
        Busy,           // "*** CALL busy"
        Reconnect,      // "*** DISCONNECTED" and "*** CONNECTED to CALL" in one write
    };
    // A simulator without these wordings ignores them.
    virtual void userLink(int /*port*/, char /*stream*/, Link /*link*/,
                          const std::string& /*call*/) {}

    std::function<void(int port, char stream, const std::string& text)> toUser;
    std::function<void(int port, char stream)> droppedByNode;
    std::function<void(const std::string& line)> log;
};

// The lines a TNC prints for a link event, in order.
inline std::vector<std::string> linkLines(SimTnc::Link link, const std::string& call) {
    switch (link) {
    case SimTnc::Link::ConnectColon:
        return {"*** CONNECTED to: " + call};
    case SimTnc::Link::ConnectRequest:
        return {"*** connect request: " + call};
    case SimTnc::Link::RetryExceeded:
        return {"*** retry count exceeded", "*** DISCONNECTED"};
    case SimTnc::Link::Busy:
        return {"*** " + call + " busy"};
    case SimTnc::Link::Reconnect:
        return {"*** DISCONNECTED", "*** CONNECTED to " + call};
    }
    return {};
}

// Whether the stream is connected after the event (unchanged when nothing is said).
inline bool connectedAfter(SimTnc::Link link, bool before) {
    switch (link) {
    case SimTnc::Link::ConnectColon:
    case SimTnc::Link::Reconnect:
        return true;
    case SimTnc::Link::RetryExceeded:
        return false;
    default:
        return before;
    }
}

} // namespace tncsim
