// The live copy of every setting the setup holds: the serial line, the TNC type, the modem
// program's address, the node's call, password and folder, the IP link and the logging and
// restore choices, with their loading from and saving to an instance's section.
#pragma once

#include "common/settings_store.h"
#include "tnc/kiss_settings.h"

#include <cstdint>
#include <string>

namespace gw {

// How the node reaches the server: IPType and DialType together.
enum class IpLinkType { FullTime, DialUp, DialBackup };

struct LiveSettings {
    std::string commPort;
    std::string baudRate;
    std::string length;
    std::string parity;
    std::string stop;
    std::string tncType;
    std::string flow;
    std::string agwAddress; // type AGW: the modem program's AGW port, host:port
    std::string agwPaclen;  // read only: the AGW frame length as stored ("" for the default)
    KissSettings kiss;      // type KISS: its line, timing and link values as typed
    bool port1 = true;      // the port option: port 1, port 2 or both
    bool port2 = false;
    std::string password;
    std::string mboCall; // the node's call sign as typed
    std::string initFilePath;
    std::string ipAddress; // the server's address as typed
    std::string ipPort;    // the server's TCP port as typed; "" for the usual 8773
    bool enableLog = true;
    bool restore = true;
    IpLinkType ipLink = IpLinkType::FullTime;
    std::int16_t dunIndex = -1; // the phone-book entry chosen, -1 for none
    std::string hangUpDelay;    // minutes as typed; loaded only when 0 to 120

    // Reads every key of the section; values that do not convert take their defaults.
    void load(const SettingsStore& settings, const std::string& section);
    // Writes the keys the operator's choices own (not Password, which is saved on its own).
    void save(SettingsStore& settings, const std::string& section) const;
};

// The hang-up delay the operator may choose: a number from 0 to 120 minutes.
bool hangUpDelayValid(const std::string& text);

} // namespace gw
