// What every simulated TNC offers the simulator: bytes from the host, and the radio side's
// users connecting, typing and leaving; it tells back what the node sent each user.
#pragma once

#include <chrono>
#include <functional>
#include <poll.h>
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

    // Steps only some simulators play (a KISS station that vanishes, raw bytes on the line);
    // the others say so in their log.
    enum class Special { Vanish, NeverAck, Raw, Garbage, Flood };
    virtual void userSpecial(int /*port*/, char /*stream*/, Special /*special*/,
                             const std::string& /*argument*/) {
        if (log) log("this TNC type does not play that step");
    }

    // The sockets a simulator watches besides the pty, then what they reported; false once it
    // cannot go on. Timed work runs in service(), which says how long until more is due.
    virtual void addPollFds(std::vector<pollfd>& /*fds*/) const {}
    virtual bool handle(const std::vector<pollfd>& /*fds*/) { return true; }
    virtual std::chrono::milliseconds service() { return std::chrono::milliseconds(1000); }
    // Nothing left on its way to or from the users: a finished script may end the run.
    virtual bool idle() const { return true; }

    std::function<void(int port, char stream, const std::string& text)> toUser;
    std::function<void(int port, char stream)> droppedByNode;
    // What the user's own station says about the link ("*** CONNECTED to N0CALL").
    std::function<void(int port, char stream, const std::string& line)> linkNote;
    std::function<void(const std::string& line)> log;
    // A rule the node broke: printed and counted as a failure.
    std::function<void(const std::string& what)> fault;
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
