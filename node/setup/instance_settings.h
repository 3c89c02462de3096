// What a node reads of its instance's settings outside the setup window: the check of every
// setting it needs to initialize by itself (`brevane --check`, and a headless start, which has
// nobody to ask), what it will change of them, the TNC types offered, and the short-message
// server's port.
#pragma once

#include "common/settings_store.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace gw {

// The TNC types the setup window offers, in its list's order.
inline constexpr std::array<const char*, 11> kTncTypes = {
    "KPC1", "KPC2", "KPC3", "KPC4", "KPC9612", "KAM", "TNC2", "MFJ1270B", "MFJ1274", "AGW", "KISS"};

// Defaults of the settings that both the setup window and the check read.
inline constexpr const char* kDefaultTncType = "KPC3";
inline constexpr const char* kDefaultCommPort = "1";
inline constexpr const char* kDefaultBaudRate = "9600";
// The short-message server a new node talks to: the reference server on this machine.
inline constexpr const char* kDefaultServerAddress = "127.0.0.1";

struct SettingsProblem {
    // Setting: a value missing or unusable, which only the operator can mend. Device: the
    // serial device is missing or refused now; a running node waits and retries for it.
    enum class Kind { Setting, Device };
    Kind kind;
    // "Key: what is wrong", in words an operator can act on; a value quoted from the file is
    // as the file holds it, to be escaped where the text is written.
    std::string text;
};

// Every problem of the instance's settings (section "Client" + instance) that keeps the node
// from initializing; empty when it could initialize with them.
std::vector<SettingsProblem> checkInstanceSettings(const SettingsStore& settings,
                                                   const std::string& section);

// What the node will change of the instance's settings when it initializes, in words for the
// operator (a TNC2's start-up file asking for more than one user), quoting the file as the
// problems do; empty when nothing.
std::vector<std::string> instanceNotes(const SettingsStore& settings, const std::string& section);

// The server's port: GULLWICK_SMS_PORT when it holds a port number, else IPPort, else 8773.
std::uint16_t serverPort(const SettingsStore& settings, const std::string& section);

} // namespace gw
