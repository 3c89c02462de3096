// The KISS keys, their defaults and their check.
#include "tnc/kiss_settings.h"

#include "ax25/address.h"
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace gw {
namespace {

constexpr std::size_t kMaxInitText = 256;

// A typed value as a problem shows it: quoted, control and non-ASCII bytes as \xNN.
std::string shown(const std::string& text) {
    std::string out = "\"";
    for (const char c : text.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + (text.size() > 80 ? "...\"" : "\"");
}

bool digitsOnly(const std::string& text) {
    return !text.empty() && text.size() <= 6 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// A whole number from `low` to `high`; otherwise a problem and `fallback`.
int whole(const char* key, const std::string& typed, int low, int high, const char* unit,
          int fallback, std::vector<std::string>& problems) {
    const std::string text = trim(typed);
    if (digitsOnly(text)) {
        const int value = std::stoi(text);
        if (value >= low && value <= high) return value;
    }
    problems.push_back(std::string(key) + ": " + shown(typed) + " is not a whole number from " +
                       std::to_string(low) + " to " + std::to_string(high) + unit + ".");
    return fallback;
}

} // namespace

void KissSettings::load(const SettingsStore& settings, const std::string& s) {
    const KissSettings defaults;
    address = trim(settings.read(s, "KISSAddress", defaults.address));
    txDelay = settings.read(s, "KISSTxDelay", defaults.txDelay);
    persist = settings.read(s, "KISSPersist", defaults.persist);
    slotTime = settings.read(s, "KISSSlotTime", defaults.slotTime);
    txTail = settings.read(s, "KISSTxTail", defaults.txTail);
    fullDuplex = settings.readBool(s, "KISSFullDuplex", defaults.fullDuplex);
    initText = settings.read(s, "KISSInitText", defaults.initText);
    exitKiss = settings.readBool(s, "KISSExit", defaults.exitKiss);
    paclen = settings.read(s, "KISSPaclen", defaults.paclen);
    window = settings.read(s, "KISSWindow", defaults.window);
    retries = settings.read(s, "KISSRetries", defaults.retries);
    t1 = settings.read(s, "KISST1", defaults.t1);
    idInterval = settings.read(s, "KISSIdInterval", defaults.idInterval);
}

void KissSettings::save(SettingsStore& settings, const std::string& s) const {
    settings.write(s, "KISSAddress", trim(address));
    settings.write(s, "KISSTxDelay", trim(txDelay));
    settings.write(s, "KISSPersist", trim(persist));
    settings.write(s, "KISSSlotTime", trim(slotTime));
    settings.write(s, "KISSTxTail", trim(txTail));
    settings.writeBool(s, "KISSFullDuplex", fullDuplex);
    settings.write(s, "KISSInitText", initText);
    settings.writeBool(s, "KISSExit", exitKiss);
    settings.write(s, "KISSPaclen", trim(paclen));
    settings.write(s, "KISSWindow", trim(window));
    settings.write(s, "KISSRetries", trim(retries));
    settings.write(s, "KISST1", trim(t1));
    settings.write(s, "KISSIdInterval", trim(idInterval));
}

KissConfig readKissSettings(const KissSettings& in, std::vector<std::string>& problems) {
    KissConfig config;
    const std::string address = trim(in.address);
    if (!address.empty()) {
        config.tcp = parseAgwAddress(address);
        if (!config.tcp)
            problems.push_back("KISSAddress: " + shown(address) +
                               " is not host:port (leave it empty for the serial port).");
    }
    config.txDelay = whole("KISSTxDelay", in.txDelay, 0, 255, " (10 ms units)", 30, problems);
    config.persist = whole("KISSPersist", in.persist, 0, 255, "", 63, problems);
    config.slotTime = whole("KISSSlotTime", in.slotTime, 0, 255, " (10 ms units)", 10, problems);
    config.txTail = whole("KISSTxTail", in.txTail, 0, 255, " (10 ms units)", 10, problems);
    config.fullDuplex = in.fullDuplex;
    config.exitKiss = in.exitKiss;
    config.paclen = whole("KISSPaclen", in.paclen, 1, 256, " bytes", 128, problems);
    config.window = whole("KISSWindow", in.window, 1, 7, " frames", 4, problems);
    config.retries = whole("KISSRetries", in.retries, 1, 30, " tries", 10, problems);
    config.t1 = std::chrono::seconds(whole("KISST1", in.t1, 1, 30, " seconds", 3, problems));
    config.idInterval = std::chrono::minutes(
        whole("KISSIdInterval", in.idInterval, 0, 30, " minutes", 10, problems));

    // The text goes to the TNC before KISS: printable ASCII only, so that nothing in it can
    // act as a control character or a frame.
    const bool printable = std::all_of(in.initText.begin(), in.initText.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    if (!printable || in.initText.size() > kMaxInitText) {
        problems.push_back("KISSInitText: " + shown(in.initText) +
                           " is not up to 256 printable characters (commands separated by |).");
    } else {
        std::size_t from = 0;
        for (;;) {
            const std::size_t bar = in.initText.find('|', from);
            const std::string command = trim(in.initText.substr(from, bar - from));
            if (!command.empty()) config.initCommands.push_back(command);
            if (bar == std::string::npos) break;
            from = bar + 1;
        }
    }
    return config;
}

bool ax25CallValid(const std::string& call) {
    return call == toUpper(call) && ax25::Address::parse(call).has_value();
}

} // namespace gw
