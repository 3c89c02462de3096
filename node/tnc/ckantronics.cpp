// The Kantronics host-mode driver: one algorithm for all three variants.
#include "tnc/ckantronics.h"

#include "common/clock.h"
#include "common/event_pump.h"
#include "common/settings_store.h"
#include "common/text.h"
#include "tnc/tnc_host.h"
#include "tnc/tnc_text.h"

namespace gw {

using namespace std::chrono_literals;

namespace {
constexpr std::string_view kPrompt = "cmd:";
const std::string kCr = "\r";
} // namespace

CKantronics::CKantronics(TncHost& host, KantronicsVariant variant)
    : HostedDriver(host), m_variant(variant),
      m_decoder([this](const std::string& body) { onFrame(body); }) {}

void CKantronics::SerialIn(const std::string& sNewSerialData) {
    m_raw += sNewSerialData;
    // Waits look for recent prompts only; trimming in steps keeps appends cheap.
    if (m_raw.size() > 2 * kRawKeep) m_raw.erase(0, m_raw.size() - kRawKeep);
    if (!m_hostMode) return;
    m_decoder.feed(sNewSerialData);
    raiseQueued();
}

void CKantronics::onFrame(const std::string& body) {
    // An answer only sets a flag, which a wait further up the stack may be looking for.
    if (body[0] == 'C') {
        m_lastAnswer = body;
        m_answerFlag = true;
    } else {
        m_events.push(body);
    }
}

void CKantronics::raiseQueued() {
    m_events.raiseAll([this](const std::string& body) {
        if (body[0] == 'D') {
            m_lastData = body;
            m_host.DataEvent(body);
        } else {
            m_host.StatusEvent(body);
        }
    });
}

void CKantronics::ClearFrame() {
    m_answerFlag = false;
    m_lastAnswer.clear();
    m_lastData.clear();
    m_decoder.clear();
}

bool CKantronics::SendCommand(const std::string& sCommand) {
    for (int attempt = 1;; ++attempt) {
        m_answerFlag = false;
        m_lastAnswer.clear();
        send(hostFrame("C10", sCommand));
        SerialIn(receive());
        waitFor(5s, [this] {
            if (!m_answerFlag) SerialIn(receive());
            return m_answerFlag;
        });
        if (m_answerFlag || attempt == 2) return m_answerFlag;
        if (m_variant.clearFrameOnRetry) m_decoder.clear();
    }
}

void CKantronics::SendData(const std::string& sData, const std::string& sStream, int nPort) {
    send(hostFrame("D" + std::to_string(nPort) + sStream, sData));
}

bool CKantronics::SendDisconnect(const std::string& sStream, int nPort) {
    m_answerFlag = false;
    m_lastAnswer.clear();
    const std::string port = m_variant.disconnectOnPort1 ? "1" : std::to_string(nPort);
    send(hostFrame("C" + port + sStream + "D", ""));
    waitFor(10s, [this] { return m_answerFlag; });
    return m_answerFlag;
}

bool CKantronics::FindInitialState(bool& bHost) {
    clearRaw();
    send("RESET" + kCr);
    if (waitFor(5s, [this] { return rawHas(kPrompt); })) {
        m_bHost = false;
        bHost = false;
        return true;
    }
    clearRaw();
    send(hostFrame("C10RESET", ""));
    waitFor(5s, [this] { return rawHas("S00"); });
    if (rawHas(std::string(1, kFend) + "S00" + kFend)) {
        m_bHost = true;
        bHost = true;
        return true;
    }
    return false;
}

bool CKantronics::CheckComm() {
    bool host = false;
    return FindInitialState(host);
}

bool CKantronics::SetHostMode() {
    m_hostMode = false;
    clearRaw();
    send("INT HOST" + kCr);
    if (!waitFor(10s, [this] { return rawHas(kPrompt); })) return false;
    clearRaw();
    send("RESET" + kCr);
    if (!waitFor(5s, [this] { return rawHas("S00"); })) return false;
    // Whatever arrived in terminal mode is not the start of a frame; frames that came in the
    // same read as the reset confirmation (a user connecting at once) are.
    m_decoder.clear();
    m_hostMode = true;
    std::size_t after = m_raw.find("S00") + 3;
    if (after < m_raw.size() && m_raw[after] == kFend) ++after;
    m_decoder.feed(std::string_view(m_raw).substr(after));
    raiseQueued();
    return true;
}

bool CKantronics::ClearHostMode() {
    clearRaw();
    send(hostFrame("q", "") + kCr);
    if (!waitFor(5s, [this] { return rawHas(kPrompt); })) return false;
    m_hostMode = false;
    return true;
}

bool CKantronics::Init() {
    bool bHost = m_bHost;
    if (!FindInitialState(bHost)) {
        message("Could not make connection to TNC, Check Settings.");
        return false;
    }
    if (bHost) {
        progress("   Host mode found.");
        if (!ClearHostMode()) {
            message("Could not Clear TNC Host Mode, Check Settings.");
            return false;
        }
        progress("   Host mode cleared.");
    } else {
        progress("   Terminal mode found.");
    }

    // Wake the prompt: a carriage return at a time until one answer holds it.
    const auto wakeStart = m_host.clock().elapsed();
    const auto sinceWake = [&] { return m_host.clock().elapsed() - wakeStart; };
    do {
        clearRaw();
        send(kCr);
        waitFor(5s - std::min<std::chrono::milliseconds>(sinceWake(), 5s),
                [this] { return !m_raw.empty(); });
    } while (!rawHas(kPrompt) && sinceWake() <= 5s);

    clearRaw();
    send("DISPLAY" + kCr);
    progress("   Reading parameter settings.");
    if (!waitFor(10s, [this] { return rawHas(kPrompt); })) {
        message("Could not Save Settings in Registry.");
        return false;
    }
    progress("   Saving settings to registry.");
    m_host.settings().write(m_host.settingsSection(), m_variant.stateKey,
                            m_raw.substr(0, m_raw.find(kPrompt)));

    progress("   Setting Host mode.");
    if (!SetHostMode()) {
        message("Could not Set TNC Host Mode.");
        return false;
    }

    progress("   Reading .aps file.");
    // The interface mode stays as the node set it.
    const auto sent = [](const std::string& command) {
        return toUpper(command).rfind("IN", 0) != 0;
    };
    if (!sendStartupFile("   Command: ", sent)) return false;

    progress("   Getting PACLEN parameter.");
    bool result = SendCommand("PACLEN");
    readPaclen(m_lastAnswer);
    progress("   Getting MAXUSERS parameter.");
    result = SendCommand("MAXUSERS") && result;
    readMaxusers(m_lastAnswer);

    return userLimitsValid() && result;
}

void CKantronics::readPaclen(const std::string& answer) {
    const auto value = answerValue(answer, "PACLEN", false);
    if (!m_variant.dualPort) {
        m_paclen1 = value ? packetLength(*value).value_or(128) : 128;
        m_paclen2 = 0;
        return;
    }
    if (!value) {
        // The lengths found before stand; a port without one gets the default.
        if (m_paclen1 == 0) m_paclen1 = 128;
        if (m_paclen2 == 0) m_paclen2 = 128;
        return;
    }
    const std::size_t slash = value->find('/');
    if (slash == std::string::npos) {
        m_paclen1 = m_paclen2 = 128;
        return;
    }
    m_paclen1 = packetLength(trim(value->substr(0, slash))).value_or(128);
    m_paclen2 = packetLength(trim(value->substr(slash + 1))).value_or(128);
}

void CKantronics::readMaxusers(const std::string& answer) {
    const auto value = answerValue(answer, "MAXUSERS", false);
    if (!m_variant.dualPort) {
        m_host.setLMaxusers1(value ? userLimit(*value).value_or(0) : 0);
        m_host.setLMaxusers2(0);
        return;
    }
    if (!value) return;
    const std::size_t slash = value->find('/');
    if (slash == std::string::npos) {
        m_host.setLMaxusers1(0);
        m_host.setLMaxusers2(0);
        return;
    }
    const auto first = userLimit(trim(value->substr(0, slash)));
    const auto second = userLimit(trim(value->substr(slash + 1)));
    m_host.setLMaxusers1(first && m_host.bPort1() ? *first : 0);
    m_host.setLMaxusers2(second && m_host.bPort2() ? *second : 0);
}

bool CKantronics::Restore() {
    const std::string saved =
        m_host.settings().read(m_host.settingsSection(), m_variant.stateKey, "");
    if (saved.empty()) return false;
    for (const std::string& command : restoreCommands(saved, false))
        SendCommand(command);
    SendCommand("RESET");
    if (ClearHostMode()) return true;
    m_host.pump().pump(std::chrono::milliseconds(0));
    return ClearHostMode();
}

} // namespace gw
