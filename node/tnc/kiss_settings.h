// The KISS type's settings: the texts the operator typed (loaded from and saved to the
// instance's section), and their reading into the values the KISS driver runs with, each
// problem said in words. The driver and `brevane --check` read them the same way.
#pragma once

#include "common/settings_store.h"
#include "tnc/agw_address.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace gw {

struct KissSettings {
    std::string address;           // KISSAddress: "" for the serial line, else host:port
    std::string txDelay = "30";    // KISSTxDelay, 10 ms units
    std::string persist = "63";    // KISSPersist, 0-255
    std::string slotTime = "10";   // KISSSlotTime, 10 ms units
    std::string txTail = "10";     // KISSTxTail, 10 ms units
    bool fullDuplex = false;       // KISSFullDuplex
    std::string initText;          // KISSInitText: commands sent before KISS, "|" between
    bool exitKiss = false;         // KISSExit: leave KISS mode at shutdown
    std::string paclen = "128";    // KISSPaclen: N1, bytes of text in one frame
    std::string window = "4";      // KISSWindow: k, frames out before an acknowledgement
    std::string retries = "10";    // KISSRetries: N2
    std::string t1 = "3";          // KISST1: seconds before the first retry
    std::string idInterval = "10"; // KISSIdInterval: minutes between identifications, 0 off

    void load(const SettingsStore& settings, const std::string& section);
    void save(SettingsStore& settings, const std::string& section) const;
};

// The values a KISS link runs with.
struct KissConfig {
    std::optional<AgwAddress> tcp; // nothing: the serial line
    int txDelay = 30;
    int persist = 63;
    int slotTime = 10;
    int txTail = 10;
    bool fullDuplex = false;
    std::vector<std::string> initCommands;
    bool exitKiss = false;
    long paclen = 128;
    int window = 4;
    int retries = 10;
    std::chrono::seconds t1{3};
    std::chrono::minutes idInterval{10};
};

// The settings read into values; every unusable one is a problem "Key: ..." and keeps its
// default.
KissConfig readKissSettings(const KissSettings& settings, std::vector<std::string>& problems);

// An AX.25 call sign in upper case: 1 to 6 letters and digits, and an optional SSID -0 to -15.
bool ax25CallValid(const std::string& call);

} // namespace gw
