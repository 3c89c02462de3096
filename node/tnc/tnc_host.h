// What a TNC driver needs of the window that owns it: the line to its TNC, the start-up file, the
// setup choices, the user limits it writes, the progress label, the settings store, message
// boxes, the event pump and clock for its waits, and the node core's two events.
#pragma once

#include "common/dialogs.h"
#include "tnc/kiss_settings.h"

#include <string>
#include <string_view>

namespace gw {

class Clock;
class Dialogs;
class EventPump;
class SettingsStore;

class TncHost {
  public:
    virtual ~TncHost() = default;

    // Text to the TNC on its line: the serial port, or the AGW driver's TCP connection.
    virtual void sendToTnc(std::string_view text) = 0;
    // What the line received; a failing line reads as silence (the host reports it).
    virtual std::string receiveFromTnc() = 0;
    // The next command of the start-up file, "" at its end.
    virtual std::string ReadStartupFile(const std::string& sPath) = 0;

    virtual std::string txtPath() const = 0;
    virtual std::string comboType() const = 0;
    virtual bool bPort1() const = 0;
    virtual bool bPort2() const = 0;
    virtual bool chkRestore() const = 0;
    // The setup's live AGW address, node call sign and AGW packet length texts, unchecked.
    virtual std::string agwAddress() const = 0;
    virtual std::string nodeCall() const = 0;
    virtual std::string agwPaclen() const = 0;
    // The setup's live KISS settings, unchecked.
    virtual KissSettings kissSettings() const = 0;
    virtual long lMaxusers1() const = 0;
    virtual long lMaxusers2() const = 0;
    virtual void setLMaxusers1(long value) = 0;
    virtual void setLMaxusers2(long value) = 0;
    virtual std::string lblInitializing() const = 0;
    virtual void setLblInitializing(const std::string& text) = 0;
    // The settings section of this instance: "Client" + instance text.
    virtual std::string settingsSection() const = 0;

    virtual SettingsStore& settings() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual EventPump& pump() = 0;
    virtual const Clock& clock() const = 0;

    virtual void StatusEvent(const std::string& sStatus) = 0;
    virtual void DataEvent(const std::string& sData) = 0;

    // What a driver tells the operator about its TNC by itself (a lost or restored line): a
    // monitor and log line, and the TNC status label.
    virtual void reportTnc(const std::string& /*text*/) {}
    virtual void setTncStatus(const std::string& /*text*/, bool /*working*/) {}
};

} // namespace gw
