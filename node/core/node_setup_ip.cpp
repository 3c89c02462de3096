// The setup's IP link: verifying the server by ping, dialing on demand through the dial-up
// layer, the operator's check and hang-up, the phone book and the dial timeout.
#include "core/node_setup.h"

#include "common/text.h"

#include <QtGlobal>
#include <cstdint>

namespace gw {
namespace {
// What the node raises when it has no ping control to ask.
constexpr long kCannotCreateObject = 429;

bool dialWorthy(const NodeError& error) {
    return error.number() == PingControl::kNoRoute ||
           error.number() == PingControl::kNetworkUnreachable ||
           error.number() == PingControl::kTimeout;
}
} // namespace

void NodeSetup::setDialUp(std::unique_ptr<DialUp> dialUp) {
    m_dialUp = std::move(dialUp);
    m_dialUp->setEvents({[this](const std::string& name) { onPhoneBookEntry(name); },
                         [this](long state, long error) { onDialUpStatus(state, error); }});
}

void NodeSetup::setPingControl(std::unique_ptr<PingControl> control) {
    m_pinger = std::move(control);
    m_pingProblem.clear();
    if (m_pinger)
        m_pinger->onError([this](std::int16_t code, const std::string& description) {
            onPingError(code, description);
        });
}

void NodeSetup::createPingControl() {
    if (m_pinger) return;
    std::string problem;
    setPingControl(PingControl::create(PingControl::libraryCandidates(), &problem));
    if (m_pinger) return;
    m_pingProblem = "Ping control not available: " + problem;
    setLinkCheck(LinkCheckState::Unavailable);
    qWarning("%s", m_pingProblem.c_str());
    m_main.Log(m_pingProblem);
}

long NodeSetup::pingStep() {
    try {
        if (!m_pinger) throw NodeError(kCannotCreateObject, "frmTNC", m_pingProblem);
        const std::string host = trim(serverAddress());
        // The control takes an empty host as done at once; that must not read as an answer.
        if (host.empty()) throw NodeError(26002, "frmTNC", "[11001] Host not found");
        const long milliseconds = m_pinger->pingStep(host);
        m_lastPing = {m_clock.now(), true, milliseconds, {}};
        return milliseconds;
    } catch (const NodeError& error) {
        m_lastPing = {m_clock.now(), false, 0,
                      error.number() == PingControl::kTimeout ? "no answer" : error.description()};
        throw;
    }
}

void NodeSetup::setLinkCheck(LinkCheckState state, long milliseconds) {
    m_linkCheck = {state, milliseconds};
    emit linkCheckChanged();
}

void NodeSetup::dialIgnoringErrors() {
    try {
        m_dialTimer.start();
        m_dialUp->dial();
    } catch (const NodeError& error) {
        m_main.Log("Dial up: " + error.description());
    }
}

bool NodeSetup::VerifyFullTime() {
    try {
        pingStep();
        return true;
    } catch (const NodeError&) {
        return false;
    }
}

bool NodeSetup::VerifyConnection() {
    try {
        pingStep();
        return true;
    } catch (const NodeError& error) {
        if (!dialWorthy(error) || m_live.ipLink == IpLinkType::FullTime) return false;
    }
    setDialUpConnected(false);
    dialIgnoringErrors();
    if (!bConnectedByDialup()) return false;
    try {
        pingStep();
        return true;
    } catch (const NodeError&) {
        // A dial-up link that is up counts as verified even while the server is silent.
        return bConnectedByDialup();
    }
}

void NodeSetup::hangUp() {
    try {
        m_dialUp->hangUp();
    } catch (const NodeError& error) {
        m_main.Log("Hang up: " + error.description());
    }
}

void NodeSetup::verifyIpLink() {
    setLinkCheck(LinkCheckState::Pinging);
    long number = 0;
    std::string description;
    try {
        setLinkCheck(LinkCheckState::Ok, pingStep());
        return;
    } catch (const NodeError& error) {
        if (dialWorthy(error) && m_live.ipLink != IpLinkType::FullTime && !bConnectedByDialup()) {
            setLinkCheck(LinkCheckState::Dialing);
            setDialUpConnected(false);
            dialIgnoringErrors();
            if (!bConnectedByDialup()) {
                setLinkCheck(LinkCheckState::Failed);
                m_dialogs.message(DialogIcon::Exclamation, "Dial Up Failure",
                                  "Dial up failure...could not connect.");
                return;
            }
            setLinkCheck(LinkCheckState::Pinging);
            try {
                setLinkCheck(LinkCheckState::Ok, pingStep());
            } catch (const NodeError& again) {
                // The ping has ended: never leave "Pinging" standing.
                setLinkCheck(again.number() == PingControl::kTimeout ? LinkCheckState::TimedOut
                                                                     : LinkCheckState::Failed);
            }
            return;
        }
        number = error.number();
        description = error.description();
    }
    if (number == PingControl::kTimeout) {
        setLinkCheck(LinkCheckState::TimedOut);
        return;
    }
    m_dialogs.message(DialogIcon::Exclamation, "Ping Error!",
                      "Ping Error: " + std::to_string(number) + "/" + description + "\r" +
                          "Your system may not have the correct Winsock configuration.");
    setLinkCheck(LinkCheckState::Failed);
}

void NodeSetup::onPingError(std::int16_t, const std::string&) {
    setLinkCheck(LinkCheckState::Failed);
}

void NodeSetup::setDialUpConnected(bool connected) {
    m_bConnectedByDialup = connected;
    emit dialUpChanged();
}

int NodeSetup::phoneBookRow() const {
    const int index = m_live.dunIndex;
    return index >= 0 && index < static_cast<int>(m_phoneBook.size()) ? index : -1;
}

void NodeSetup::fillPhoneBook() {
    m_fillingPhoneBook = true;
    m_phoneBook.clear();
    try {
        m_dialUp->setAction(DialUp::kEnumerate);
    } catch (const NodeError& error) {
        m_main.Log("Dial up: " + error.description());
    }
    m_fillingPhoneBook = false;
    emit phoneBookChanged();
    // A stored position beyond the rebuilt list (the phone book changed) chooses nothing.
    const int row = phoneBookRow();
    if (m_live.dunIndex != -1)
        m_dialUp->setEntry(row >= 0 ? m_phoneBook[static_cast<std::size_t>(row)] : "");
}

void NodeSetup::chooseConnection(IpLinkType type) {
    m_live.ipLink = type;
    if (type != IpLinkType::FullTime) fillPhoneBook();
    emit dialUpChanged();
}

void NodeSetup::chooseDialEntry(int row) {
    if (m_fillingPhoneBook || row < 0 || row >= static_cast<int>(m_phoneBook.size())) return;
    m_dialUp->setEntry(m_phoneBook[static_cast<std::size_t>(row)]);
    m_live.dunIndex = static_cast<std::int16_t>(row);
}

void NodeSetup::onPhoneBookEntry(const std::string& name) {
    // The chosen entry is stored as a 16-bit position: a longer list could not be chosen from.
    if (name.empty() || m_phoneBook.size() > static_cast<std::size_t>(INT16_MAX)) return;
    m_phoneBook.push_back(name);
    if (!m_fillingPhoneBook) emit phoneBookChanged();
}

void NodeSetup::onDialUpStatus(long state, long error) {
    if (state == DialUp::kAuthenticated && error == 0) {
        m_dialTimer.stop();
        setDialUpConnected(true);
    } else if (state == DialUp::kDisconnected) {
        m_dialTimer.stop();
        setDialUpConnected(false);
    }
}

void NodeSetup::dialTimedOut() {
    if (bConnectedByDialup()) return;
    m_dialTimer.stop();
    try {
        m_dialUp->setAction(DialUp::kAbandon);
    } catch (const NodeError& error) {
        m_main.Log("Dial up: " + error.description());
    }
}

} // namespace gw
