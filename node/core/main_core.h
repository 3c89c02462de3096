// What the setup core needs of the node's main core besides the TNC events: the instance and
// its settings section, the result of the last initialization, and what the node's views
// learn of the setup's work (the server link loaded, an initialization ended, setup left).
#pragma once

#include "tnc/main_window_port.h"

#include <string>

namespace gw {

class MainCore : public MainWindowPort {
  public:
    virtual std::string instance() const = 0;        // "1" to "10"
    virtual std::string settingsSection() const = 0; // "Client" + instance
    // Whether the last initialization succeeded (read at start-up from "Initialized").
    virtual bool lastInitOK() const = 0;
    virtual void setLastInitOK(bool ok) = 0;
    // The server link has been loaded: the server's address and this machine's address.
    virtual void reportServerLink(const std::string& server, const std::string& local) = 0;
    // An initialization has ended: saving the monitor to the log is offered when logging is
    // on, and after a success the stream labels are read again from the radio side.
    virtual void reportInitialized(bool ok, bool logEnabled) = 0;
    // The TNC is initialized anew and its links with it: the users still in the stream table
    // leave it, each logged with `why`.
    virtual void closeUsers(const std::string& why) = 0;
    // The node leaves its setup for its running state (initialized, or the setup cancelled),
    // whether it has, and ending the program.
    virtual void leaveSetup() = 0;
    virtual bool hasLeftSetup() const = 0;
    virtual void endProgram() = 0;
};

} // namespace gw
