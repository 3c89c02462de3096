// What the TNC dispatch reads from the setup window (frmTNC): the live setup choices, the
// progress label of the initialization, and a way to bring the setup window forward.
#pragma once

#include "tnc/kiss_settings.h"

#include <string>

namespace gw {

class TncSetup {
  public:
    virtual ~TncSetup() = default;
    virtual std::string comboType() const = 0; // ComboType text, compared exactly
    virtual std::string txtPath() const = 0;   // folder text, ends with "/"
    virtual bool bPort1() const = 0;
    virtual bool bPort2() const = 0;
    virtual bool chkRestore() const = 0;
    virtual std::string instance() const = 0;
    // The AGW line's settings as the setup holds them now, unchecked (the driver checks them):
    // the modem program's "host:port", the node's call sign and the AGW packet length text.
    virtual std::string agwAddress() const = 0;
    virtual std::string nodeCall() const = 0;
    virtual std::string agwPaclen() const = 0;
    // The KISS line's settings as the setup holds them now, unchecked.
    virtual KissSettings kissSettings() const = 0;
    virtual std::string lblInitializing() const = 0;
    virtual void setLblInitializing(const std::string& text) = 0;
    virtual void showSetupWindow() = 0;
};

} // namespace gw
