// What the main window needs of the setup window besides the radio side: the choices that
// logging, the console and shutdown read live, and the setup window's own life cycle.
#pragma once

#include <string>

namespace gw {

class SetupSide {
  public:
    virtual ~SetupSide() = default;

    virtual bool logEnabled() const = 0;           // chkEnbLog
    virtual std::string filePath() const = 0;      // txtPath
    virtual std::string nodeCall() const = 0;      // txtMBOCall
    virtual std::string password() const = 0;      // sPassword
    virtual std::string serverAddress() const = 0; // txtIPAddress
    virtual std::string tncType() const = 0;       // ComboType
    virtual bool restoreChecked() const = 0;       // chkRestore
    virtual bool portOpen() const = 0;             // the serial port's open flag

    // Loads the setup (reading every setting); with `initialize` it runs Initialize at once,
    // otherwise it opens for the operator.
    virtual void loadSetup(bool initialize) = 0;
    // The setup is opened for the operator: its view comes forward.
    virtual void openSetup() = 0;
    virtual void Restore() = 0;
    virtual void ClearHostMode() = 0;
    // Unloads the setup window and what it loaded (the server link).
    virtual void unloadSetup() = 0;
    // A TNC operation or a wait of the setup window is on the stack: a stop must wait for it.
    virtual bool waitRunning() const { return false; }
    // Ends (true) the running waits early, or lets (false) the waits of the stop itself run.
    virtual void endWaits(bool /*end*/) {}
};

} // namespace gw
