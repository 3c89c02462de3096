// The check of an instance's settings and the server port.
#include "setup/instance_settings.h"

#include "common/paths.h"
#include "common/text.h"
#include "server/frm_brevane.h"
#include "tnc/agw_address.h"
#include "tnc/cagw.h"
#include "tnc/device_map.h"
#include "tnc/kiss_settings.h"
#include "tnc/tnc_dispatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace gw {
namespace {
std::optional<long> wholeValue(const std::string& text, long low, long high) {
    const std::string value = trim(text);
    if (value.empty() || value.size() > 9 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long number = std::stol(value);
    if (number < low || number > high) return std::nullopt;
    return number;
}

bool holdsControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A value from the file as the report shows it: quoted and cut to a line's worth. Its bytes
// are the file's: the report is escaped where it is written (the journal's lines), so that
// nothing in the file reaches a terminal or the journal as a control sequence.
std::string quoted(const std::string& text) {
    constexpr std::size_t kShown = 200;
    return "\"" + text.substr(0, kShown) + (text.size() > kShown ? "...\"" : "\"");
}

std::string typeList() {
    std::string list;
    for (const char* type : kTncTypes)
        list += (list.empty() ? "" : ", ") + std::string(type);
    return list;
}

// The serial device behind COMn: there, and open to this user for reading and writing.
void checkSerial(const SettingsStore& settings, const std::string& section,
                 std::vector<SettingsProblem>& problems) {
    const std::string port = trim(settings.read(section, "CommPort", kDefaultCommPort));
    const std::optional<long> number = wholeValue(port, 1, 255);
    if (!number) {
        problems.push_back({SettingsProblem::Kind::Setting,
                            "CommPort: " + quoted(port) + " is not a port number (1 for COM1)."});
        return;
    }
    const std::string speed = trim(settings.read(section, "BaudRate", kDefaultBaudRate));
    if (!wholeValue(speed, 1, 100'000'000))
        problems.push_back({SettingsProblem::Kind::Setting,
                            "BaudRate: " + quoted(speed) + " is not a line speed."});
    const std::string device = commDevicePath(*number);
    const std::string com = "COM" + std::to_string(*number);
    if (!QFileInfo::exists(QString::fromStdString(device))) {
        problems.push_back({SettingsProblem::Kind::Device,
                            "CommPort: the serial device " + device + " (" + com +
                                ") does not exist; link the TNC's device as " + configFolder() +
                                "/devices/com" + std::to_string(*number) + "."});
        return;
    }
    if (::access(device.c_str(), R_OK | W_OK) != 0)
        problems.push_back({SettingsProblem::Kind::Device,
                            "CommPort: the serial device " + device + " (" + com +
                                ") cannot be opened for reading and writing: " +
                                std::strerror(errno) + " (the user needs the dialout group)."});
}

// Type KISS: the node runs the AX.25 link itself, so its call must be one AX.25 can carry;
// the line is the serial port, or a KISS TCP server when KISSAddress is set.
void checkKiss(const SettingsStore& settings, const std::string& section, const std::string& call,
               std::vector<SettingsProblem>& problems) {
    if (agwCallValid(call) && !ax25CallValid(call))
        problems.push_back({SettingsProblem::Kind::Setting,
                            "MBOCall: " + quoted(call) +
                                " is not an AX.25 call sign (1 to 6 letters and digits, SSID "
                                "-0 to -15), which type KISS needs."});
    KissSettings kiss;
    kiss.load(settings, section);
    std::vector<std::string> texts;
    readKissSettings(kiss, texts);
    for (std::string& text : texts)
        problems.push_back({SettingsProblem::Kind::Setting, std::move(text)});
    if (trim(kiss.address).empty()) checkSerial(settings, section, problems);
}

// The file folder: banner, help, info and start-up files are read there, the log written.
void checkFolder(const SettingsStore& settings, const std::string& section,
                 std::vector<SettingsProblem>& problems) {
    const std::string folder = trim(settings.read(section, "InitFilePath", defaultFileFolder()));
    const QFileInfo info(QString::fromStdString(folder));
    const auto problem = [&](const std::string& what) {
        problems.push_back({SettingsProblem::Kind::Setting,
                            "InitFilePath: the file folder " + quoted(folder) + " " + what});
    };
    if (folder.empty()) return problem("is empty.");
    if (!info.exists()) {
        // The node makes its default folder, with the sample files, at start.
        const bool isDefault =
            QDir::cleanPath(
                QFileInfo(QString::fromStdString(defaultFileFolder())).absoluteFilePath()) ==
            QDir::cleanPath(info.absoluteFilePath());
        if (!isDefault) problem("does not exist.");
        return;
    }
    if (!info.isDir()) return problem("is not a folder.");
    if (::access(folder.c_str(), R_OK | X_OK) != 0)
        return problem(std::string("cannot be read: ") + std::strerror(errno) + ".");
    if (settings.readInt16(section, "EnableLog", 1) != 0 && ::access(folder.c_str(), W_OK) != 0)
        problem(std::string("cannot be written, so the log cannot be kept (EnableLog=1): ") +
                std::strerror(errno) + ".");
}
} // namespace

std::vector<SettingsProblem> checkInstanceSettings(const SettingsStore& settings,
                                                   const std::string& section) {
    std::vector<SettingsProblem> problems;
    const auto setting = [&problems](const std::string& text) {
        problems.push_back({SettingsProblem::Kind::Setting, text});
    };

    const std::string call = toUpper(trim(settings.read(section, "MBOCall", "")));
    if (call.empty())
        setting("MBOCall: Node Call Sign required.");
    else if (!agwCallValid(call))
        setting("MBOCall: " + quoted(call) +
                " is not a call sign (letters and digits with an optional -SSID, at most 9).");

    const std::string type = settings.read(section, "TNCType", kDefaultTncType);
    const TncFamily family = tncFamily(type);
    if (family == TncFamily::Unsupported)
        setting("TNCType: Unsupported TNC! " + quoted(type) + " is none of " + typeList() + ".");
    if (family == TncFamily::Agw) {
        const std::string address =
            trim(settings.read(section, "AGWAddress", CAGW::kDefaultAddress));
        if (!parseAgwAddress(address))
            setting("AGWAddress: AGW address " + quoted(address) + " is not host:port.");
    } else if (family == TncFamily::Kiss) {
        checkKiss(settings, section, call, problems);
    } else if (family != TncFamily::Unsupported) {
        checkSerial(settings, section, problems);
    }

    const std::string password = settings.read(section, "Password", "");
    if (password.empty())
        setting("Password: no node password; the server refuses the node without it (TNC menu "
                "\"Set Password\" in the setup window, or Password= in the settings).");
    else if (holdsControl(password))
        setting("Password: the node password holds a control character, which the server link "
                "cannot carry.");

    const std::string server = trim(settings.read(section, "IPAddress", kDefaultServerAddress));
    if (server.empty())
        setting("IPAddress: no short-message server address.");
    else if (holdsControl(server) || server.find(' ') != std::string::npos)
        setting("IPAddress: " + quoted(server) + " is not a server address.");
    const std::string port = settings.read(section, "IPPort", "");
    if (!port.empty() && !wholeValue(port, 1, 65535))
        setting("IPPort: " + quoted(port) + " is not a TCP port (1 to 65535).");
    if (!settings.readBool(section, "IPType", true) &&
        settings.readBool(section, "DialType", true) &&
        settings.readInt16(section, "DUNIndex", -1) < 0)
        setting("DUNIndex: You must select a valid phone book entry for the Dial Up Network "
                "Connection.");

    checkFolder(settings, section, problems);
    return problems;
}

std::vector<std::string> instanceNotes(const SettingsStore& settings, const std::string& section) {
    const std::string type = settings.read(section, "TNCType", kDefaultTncType);
    if (tncFamily(type) != TncFamily::Tnc2) return {};
    std::string folder = trim(settings.read(section, "InitFilePath", defaultFileFolder()));
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string path = folder + type + ".aps";
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    constexpr qint64 kLongestRead = 64 * 1024;
    const std::string text = file.read(kLongestRead).toStdString();
    // The commands as the node sends them: up to the first empty line, remarks after ";".
    std::vector<std::string> notes;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(std::string_view(text).substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (!line.empty() && line.front() == ';') continue;
        line = trim(std::string_view(line).substr(0, line.find(';')));
        if (line.empty()) break;
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos || toUpper(line.substr(0, blank)) != "USERS") continue;
        const std::string users = trim(std::string_view(line).substr(blank));
        if (users != "1")
            notes.push_back("TNCType " + type + ": the start-up file " + quoted(path) +
                            " sets USERS " + quoted(users) +
                            "; the node sets USERS 1 when it initializes the TNC and serves one "
                            "user at a time on a TNC2.");
    }
    return notes;
}

std::uint16_t serverPort(const SettingsStore& settings, const std::string& section) {
    const char* override = std::getenv("GULLWICK_SMS_PORT");
    if (override != nullptr)
        if (const auto port = wholeValue(override, 1, 65535))
            return static_cast<std::uint16_t>(*port);
    if (const auto port = wholeValue(settings.read(section, "IPPort", ""), 1, 65535))
        return static_cast<std::uint16_t>(*port);
    return frmBrevane::kServerPort;
}

} // namespace gw
