// Loading and saving the live settings: every key, its encoding and its default, in the order
// the node has always read and written them.
#include "setup/live_settings.h"

#include "common/paths.h"
#include "common/text.h"
#include "setup/instance_settings.h"
#include "tnc/cagw.h"

namespace gw {
namespace {
const char* boolText(bool value) {
    return value ? "True" : "False";
}
} // namespace

bool hangUpDelayValid(const std::string& text) {
    return isNumeric(text) && numericValue(text) >= 0 && numericValue(text) <= 120;
}

void LiveSettings::load(const SettingsStore& settings, const std::string& s) {
    commPort = settings.read(s, "CommPort", kDefaultCommPort);
    baudRate = settings.read(s, "BaudRate", kDefaultBaudRate);
    length = settings.read(s, "Length", "8");
    parity = settings.read(s, "Parity", "N");
    stop = settings.read(s, "Stop", "1");
    tncType = settings.read(s, "TNCType", kDefaultTncType);
    flow = settings.read(s, "Flow", "RTS/CTS");
    agwAddress = settings.read(s, "AGWAddress", CAGW::kDefaultAddress);
    agwPaclen = trim(settings.read(s, "AGWPaclen", ""));
    kiss.load(settings, s);
    port1 = settings.readBool(s, "Port1", true);
    port2 = settings.readBool(s, "Port2", false);
    password = settings.read(s, "Password", "");
    mboCall = settings.read(s, "MBOCall", "");
    initFilePath = settings.read(s, "InitFilePath", defaultFileFolder());
    ipAddress = trim(settings.read(s, "IPAddress", kDefaultServerAddress));
    ipPort = trim(settings.read(s, "IPPort", ""));
    enableLog = settings.readInt16(s, "EnableLog", 1) != 0;
    restore = settings.readInt16(s, "Restore", 1) != 0;
    const bool fullTime = settings.readBool(s, "IPType", true);
    dunIndex = settings.readInt16(s, "DUNIndex", -1);
    ipLink = IpLinkType::FullTime;
    if (!fullTime)
        ipLink =
            settings.readBool(s, "DialType", true) ? IpLinkType::DialUp : IpLinkType::DialBackup;
    // A stored delay outside 0 to 120 minutes (edited by hand) falls back to the default.
    const std::string delay = settings.read(s, "HangUpDelay", "1");
    hangUpDelay = hangUpDelayValid(delay) ? delay : "1";
}

void LiveSettings::save(SettingsStore& settings, const std::string& s) const {
    settings.write(s, "CommPort", commPort);
    settings.write(s, "Stop", stop);
    settings.write(s, "Parity", parity);
    settings.write(s, "BaudRate", baudRate);
    settings.write(s, "Length", length);
    settings.write(s, "TNCType", tncType);
    settings.write(s, "Flow", flow);
    settings.write(s, "MBOCall", toUpper(mboCall));
    settings.write(s, "InitFilePath", trim(initFilePath));
    settings.write(s, "IPAddress", ipAddress);
    settings.write(s, "IPPort", trim(ipPort));
    settings.write(s, "Port1", boolText(port1));
    settings.write(s, "Port2", boolText(port2));
    settings.write(s, "EnableLog", enableLog ? "1" : "0");
    settings.write(s, "Restore", restore ? "1" : "0");
    settings.write(s, "IPType", boolText(ipLink == IpLinkType::FullTime));
    settings.write(s, "DialType", boolText(ipLink == IpLinkType::DialUp));
    settings.write(s, "DUNIndex", std::to_string(dunIndex));
    settings.write(s, "HangUpDelay", hangUpDelay);
    settings.write(s, "AGWAddress", trim(agwAddress));
    kiss.save(settings, s);
}

} // namespace gw
