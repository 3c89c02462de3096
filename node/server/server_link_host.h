// What the server link needs from the windows above it: the server address typed in the
// setup window and the main window's server indicator label (lblCMBO).
#pragma once

#include <string>

namespace gw {

enum class ServerIndicator {
    Connected, // light green (128, 255, 128): a connection has been reported
    Closed,    // light yellow (255, 255, 128): a connection closed or failed
};

class ServerLinkHost {
  public:
    virtual ~ServerLinkHost() = default;
    // The server address text (the setup window's txtIPAddress).
    virtual std::string serverAddress() const = 0;
    // Colours lblCMBO's background.
    virtual void setServerIndicator(ServerIndicator state) = 0;
};

} // namespace gw
