// The TNC2 command-mode driver.
#include "tnc/ctnc2.h"

#include "common/clock.h"
#include "common/event_pump.h"
#include "common/settings_store.h"
#include "common/text.h"
#include "tnc/tnc_host.h"
#include "tnc/tnc_text.h"

#include <algorithm>

namespace gw {

using namespace std::chrono_literals;

namespace {
constexpr std::string_view kPrompt = "cmd:";
const std::string kCr = "\r";
const std::string kCommandChars = "\x03\x03\x03";

// Where the DISPLAY listing ends: the carriage return before the final prompt, found from
// the 10th character on. With AUTOLF on (the default) a line feed sits between the two.
std::size_t listingEnd(const std::string& raw) {
    for (std::size_t cr = raw.find('\r', 9); cr != std::string::npos; cr = raw.find('\r', cr + 1)) {
        const std::size_t prompt = raw.compare(cr + 1, 1, "\n") == 0 ? cr + 2 : cr + 1;
        if (raw.compare(prompt, kPrompt.size(), kPrompt) == 0) return cr;
    }
    return std::string::npos;
}
} // namespace

CTNC2::CTNC2(TncHost& host) : HostedDriver(host) {}

void CTNC2::SerialIn(const std::string& sNewSerialData) {
    m_raw += sNewSerialData;
    if (m_raw.size() > 2 * kRawKeep) m_raw.erase(0, m_raw.size() - kRawKeep);
    m_line += sNewSerialData;
    if (m_commandMode) {
        for (std::size_t at = m_line.find(kPrompt); at != std::string::npos;
             at = m_line.find(kPrompt)) {
            m_lastAnswer = trim(std::string_view(m_line).substr(0, at));
            m_answerFlag = true;
            m_line.erase(0, at + kPrompt.size());
        }
        // An answer is never this long; keep the tail where a prompt may be starting.
        if (m_line.size() > kMaxLine) m_line.erase(0, m_line.size() - kPrompt.size());
        return;
    }
    cutConverse();
}

void CTNC2::cutConverse() {
    // Each line leaves the buffer before anything is raised.
    for (std::size_t cr = m_line.find('\r'); cr != std::string::npos; cr = m_line.find('\r')) {
        std::string line = m_line.substr(0, cr);
        m_line.erase(0, cr + 1);
        takeLine(std::move(line));
    }
    // A line that never ends is handed on rather than held for ever.
    if (m_line.size() > kMaxLine) {
        std::string line = std::move(m_line);
        m_line.clear();
        if (m_blankHeld) m_events.push(Event{false, "D1A\r"});
        m_blankHeld = false;
        m_events.push(Event{false, "D1A" + line});
    }
    raiseQueued();
}

void CTNC2::takeLine(std::string line) {
    // With AUTOLF on the line feed of the CR LF pair leads the next line: not the user's.
    if (!line.empty() && line.front() == '\n') line.erase(0, 1);
    if (const auto link = tnc2LinkMessage(line)) {
        m_blankHeld = false;
        m_events.push(Event{true, "S1A" + *link});
        return;
    }
    if (m_blankHeld) m_events.push(Event{false, "D1A\r"});
    m_blankHeld = line.empty();
    // A line reaches the node core as a host-mode TNC delivers it: with its carriage return.
    if (!line.empty()) m_events.push(Event{false, "D1A" + line + "\r"});
}

void CTNC2::raiseQueued() {
    m_events.raiseAll([this](const Event& event) {
        if (event.status)
            raiseStatus(event.text);
        else
            raiseData(event.text);
    });
}

void CTNC2::raiseStatus(const std::string& status) {
    m_lastStatus = status;
    m_host.StatusEvent(status);
}

void CTNC2::raiseData(const std::string& line) {
    m_host.DataEvent(line);
}

void CTNC2::ClearFrame() {
    m_answerFlag = false;
    m_lastAnswer.clear();
    m_lastStatus.clear();
    m_line.clear();
    m_blankHeld = false;
}

bool CTNC2::SetCmdMode() {
    m_raw.clear();
    send(kCr);
    if (waitFor(5s, [this] { return rawHas(kPrompt); })) {
        m_commandMode = true;
        return true;
    }
    send(kCommandChars);
    m_commandMode = waitFor(5s, [this] { return rawHas(kPrompt); });
    return m_commandMode;
}

bool CTNC2::CheckComm() {
    return SetCmdMode();
}

bool CTNC2::SendCommand(const std::string& sCommand) {
    if (!m_commandMode) {
        const auto start = m_host.clock().elapsed();
        while (!SetCmdMode() && m_host.clock().elapsed() - start < 5s)
            m_host.pump().pump(kWaitSlice);
        if (!m_commandMode) return false;
    }
    for (int attempt = 1; attempt <= 4; ++attempt) {
        m_answerFlag = false;
        m_lastAnswer.clear();
        m_line.clear();
        send(sCommand + kCr);
        SerialIn(receive());
        waitFor(5s, [this] {
            if (!m_answerFlag) SerialIn(receive());
            return m_answerFlag;
        });
        if (m_answerFlag) break;
    }
    return m_answerFlag;
}

void CTNC2::SendData(const std::string& sData, const std::string& sStream, int /*nPort*/) {
    // The stream switch and the packet end are the node's own; the text is other people's.
    send("|" + sStream + m_specials.literal(sData) + '\x01');
}

bool CTNC2::SendDisconnect(const std::string& sStream, int nPort) {
    m_raw.clear();
    send(kCommandChars);
    if (!waitFor(5s, [this] { return rawHas(kPrompt); })) return false;
    // The TNC is at its prompt now: what it prints until CONV are answers, not user lines.
    m_commandMode = true;
    m_line.clear();
    m_raw.clear();
    send("DISCONNECT" + kCr);
    waitFor(5s, [this] { return rawHas("*** DISCONNECTED"); });
    m_raw.clear();
    send(kCr);
    waitFor(5s, [this] { return rawHas(kPrompt); });
    enterConverse();
    raiseStatus("S" + std::to_string(nPort) + sStream + "*** DISCONNECTED");
    return true;
}

void CTNC2::enterConverse() {
    m_raw.clear();
    m_line.clear();
    m_blankHeld = false;
    send("CONV" + kCr);
    m_commandMode = false;
}

bool CTNC2::Init() {
    if (!SetCmdMode()) {
        message("Could not set command mode to TNC, Check Settings.");
        return false;
    }
    m_host.setLblInitializing("Initializing TNC2 Clone:\r   Command mode set.");
    m_specials = ConverseSpecials();
    if (m_host.chkRestore()) {
        progress("   Getting settings with DISPLAY command.");
        if (!SendCommand("DISPLAY")) {
            message("Failure with DISPLAY command. Current settings cannot be saved.");
            return false;
        }
        const std::size_t end = listingEnd(m_raw);
        if (end == std::string::npos) {
            message("Could not Save Settings in Registry.");
            return false;
        }
        progress("   Saving initial settings to registry.");
        const std::string listing = m_raw.substr(0, end);
        m_host.settings().write(m_host.settingsSection(), "TNC2State", listing);
        // The TNC's own settings may already have moved a special character.
        for (const std::string& setting : restoreCommands(listing, true))
            m_specials.noteCommand(setting);
    }

    progress("   Reading .aps file.");
    // Converse and transparent mode stay the node's to enter; a command that moves a special
    // character is noted before it is sent.
    const auto sent = [this](const std::string& command) {
        const std::string head = toUpper(command.substr(0, 4));
        if (head == "T" || head == "TR" || head == "TRA" || head == "TRAN" || head == "CONV")
            return false;
        m_specials.noteCommand(command);
        return true;
    };
    if (!sendStartupFile("      Cmd: ", sent)) return false;

    // The TNC itself says where its special characters now are; a TNC that does not know
    // one of them answers without a value and the node's own note stands.
    for (const std::string& name : ConverseSpecials::names())
        if (SendCommand(name)) m_specials.noteAnswer(m_lastAnswer);

    progress("   Getting PACLEN parameter.");
    bool result = SendCommand("PACLEN");
    const auto paclen = answerValue(toUpper(m_lastAnswer), "PACLEN", false);
    m_paclen1 = paclen ? packetLength(*paclen).value_or(128) : 128;
    m_paclen2 = 0;

    progress("   Getting MAXUSERS parameter.");
    result = SendCommand("USERS") && result;
    std::optional<long> users = usersAnswered();
    // Every line of a TNC2 reaches the node as stream A, whoever sent it: a second caller's
    // lines would be taken as the first caller's. The TNC itself answers him busy at USERS 1.
    if (users && *users != 1) {
        const std::string asked = std::to_string(*users);
        progress("   USERS " + asked + ": one user at a time on a TNC2, setting USERS 1.");
        m_host.reportTnc("TNC2 had USERS " + asked +
                         ": set to USERS 1, this node serves one user at a time on a TNC2");
        result = SendCommand("USERS 1") && SendCommand("USERS") && result;
        users = usersAnswered();
    }
    m_host.setLMaxusers1(users == 1 ? 1 : 0);
    m_host.setLMaxusers2(0);
    // A link the TNC still holds belongs to no user the node knows (the node has closed them
    // all); at USERS 1 it would keep every caller out.
    SendCommand("DISCONNECT");

    if (!userLimitsValid()) return false;
    if (result) enterConverse();
    return result;
}

std::optional<long> CTNC2::usersAnswered() const {
    const auto users = answerValue(toUpper(m_lastAnswer), "USERS", false);
    return users ? userLimit(*users) : std::nullopt;
}

bool CTNC2::Restore() {
    const std::string saved = m_host.settings().read(m_host.settingsSection(), "TNC2State", "");
    if (saved.empty()) return false;
    for (const std::string& command : restoreCommands(saved, true))
        SendCommand(command);
    return true;
}

} // namespace gw
