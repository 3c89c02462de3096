// The main window: start-up, streams, monitor, log, View menu and shutdown.
#include "core/node_core.h"

#include "common/datetime.h"
#include "common/text.h"
#include "core/instance.h"
#include "core/version_text.h"
#include "server/session_key.h"

#include <algorithm>

namespace gw {
namespace {
constexpr char CR = '\r';

// The hang-up delay in whole minutes, rounded like the node's other 16-bit values and kept
// to its range of 0 to 120 whatever the box holds.
std::int16_t hangUpMinutes(const std::string& text) {
    if (!isNumeric(text)) return 0;
    return static_cast<std::int16_t>(roundHalfEven(std::clamp(numericValue(text), 0.0, 120.0)));
}

std::string charAt(const std::string& text, std::size_t position) {
    return position < text.size() ? text.substr(position, 1) : std::string();
}
} // namespace

NodeCore::NodeCore(SettingsStore& settings, const Clock& clock, Dialogs& dialogs,
                   ServerQueues& queues, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock), m_dialogs(dialogs), m_queues(queues) {
    m_log = std::make_unique<NodeLog>(
        NodeLog::Source{[this] { return m_setup != nullptr && m_setup->logEnabled(); },
                        [this] { return m_setup != nullptr ? m_setup->filePath() : std::string(); },
                        [this] { return m_setup != nullptr ? m_setup->nodeCall() : std::string(); },
                        [this] { return m_instance; }},
        m_clock);
    m_heartbeatTimer.setInterval(60'000);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &NodeCore::heartbeat);
    m_pollTimer.setInterval(1'000);
    connect(&m_pollTimer, &QTimer::timeout, this, &NodeCore::poll);
}

NodeCore::~NodeCore() = default;

std::string NodeCore::now() const {
    return generalDateTime(m_clock.now());
}

bool NodeCore::startUp(const std::string& commandLine) {
    m_instance = instanceText(commandLine);
    if (!instanceValid(m_instance)) {
        m_dialogs.message(DialogIcon::Critical, "Instance Parameter Error!",
                          "Only Numeric Instance parameters 1-10 are permitted.");
        return false;
    }
    // Without a writable settings file there is no instance guard and nothing is saved.
    std::string problem;
    if (!m_settings.writable(problem)) {
        m_dialogs.message(DialogIcon::Critical, "Settings Not Writable!",
                          "Cannot write the settings file " + m_settings.filePath() + ": " +
                              problem);
        return false;
    }
    auto lock = std::make_unique<InstanceLock>(instanceLockPath(m_settings.filePath(), m_instance));
    if (lock->state() == InstanceLock::State::Failed) {
        m_dialogs.message(DialogIcon::Critical, "Settings Not Writable!",
                          "Cannot write the instance lock " +
                              instanceLockPath(m_settings.filePath(), m_instance) + ": " +
                              lock->problem());
        return false;
    }
    if (lock->state() == InstanceLock::State::Busy) {
        m_dialogs.message(DialogIcon::Critical, "Instance Already Running!",
                          "Brevane Instance " + m_instance + " already running!");
        return false;
    }
    m_instanceLock = std::move(lock);
    m_startedAt = m_clock.now();
    openSpool();
    m_settings.write(settingsSection(), "Active", heartbeatText(m_clock.now()));
    m_lastInitOK = m_settings.readBool(settingsSection(), "Initialized", false);
    m_heartbeatTimer.start();
    m_pollTimer.start();
    return true;
}

void NodeCore::handOver(RadioSide& radio, SetupSide& setup) {
    if (m_ended) return;
    m_radio = &radio;
    m_setup = &setup;
    emit handedOver(m_lastInitOK);
    m_setup->loadSetup(m_lastInitOK);
    m_log->writeEarly();
}

void NodeCore::reportServerLink(const std::string& server, const std::string& local) {
    emit serverLinkLoaded(server, local);
}

void NodeCore::reportInitialized(bool ok, bool logEnabled) {
    // The radio side may label its streams anew (another port choice or TNC type).
    if (ok)
        for (int index = 1; index <= kMaxUsers; ++index)
            emit streamChanged(index, streamLabel(index), m_streams[index].inUse());
    emit initialized(ok, logEnabled);
}

void NodeCore::closeUsers(const std::string& why) {
    for (int index = 1; index <= kMaxUsers; ++index) {
        const StreamRecord& entry = m_streams[index];
        if (!entry.inUse()) continue;
        const int port = entry.Port;
        const std::string letter = entry.StreamID;
        const std::string left =
            "DISCONNECTED from " + entry.CallSign + " @ " + now() + " (" + why + ")";
        KillStream(index);
        MonitorMsg(port, letter, "   " + left);
        Log(std::to_string(port) + "/" + letter + ": " + left);
    }
}

void NodeCore::leaveSetup() {
    m_setupLeft = true;
    emit setupLeft();
}

std::string NodeCore::radioLabel(int index) const {
    return m_radio != nullptr ? m_radio->GetLabel(index) : std::string();
}

int NodeCore::Index(const std::string& sStreamID, int nPort) {
    if (m_radio == nullptr) return 0;
    return streamIndex(sStreamID, nPort, m_radio->bPort1(), m_radio->bPort2(),
                       m_radio->lMaxusers1());
}

void NodeCore::StatusEvent(const std::string& sStatus) {
    if (m_ended) return;
    const std::string letter = charAt(sStatus, 2);
    const int port = static_cast<int>(numericValue(charAt(sStatus, 1)));
    const int index = Index(letter, port);
    if (index <= 0 || index >= StreamTable::kEntries) return;
    const std::string portText = std::to_string(port);

    if (containsNoCase(sStatus, "DISCONNECTED")) {
        if (!m_streams[index].inUse()) return;
        const std::string call = m_streams[index].CallSign;
        KillStream(index);
        MonitorMsg(port, letter, "   DISCONNECTED from " + call + " @ " + now());
        Log(portText + "/" + letter + ": " + "DISCONNECTED from " + call + " @ " + now());
        return;
    }
    const auto at = findNoCase(sStatus, "CONNECTED TO ");
    if (at == std::string::npos) return;
    const std::string remainder = trim(sStatus.substr(at + 13));
    const std::string call = trim(remainder.substr(0, remainder.find(' ')));
    NewStream(letter, call, port);
    MonitorMsg(port, letter, "   CONNECTED to " + remainder + " @ " + now());
    Log(portText + "/" + letter + ": " + "CONNECTED to " + remainder + " @ " + now());
    radioSendFile(port, letter, "banner.txt");
    const std::uint64_t connection = m_streams[index].Connection;
    setServerState(CheckConnection(letter, port) ? ServerState::Verified
                                                 : ServerState::Unreachable);
    // The check lets events run: the user may be gone, or another on the stream, by now.
    if (m_streams[index].inUse() && m_streams[index].Connection == connection)
        tellSetAside(index, true);
}

void NodeCore::DataEvent(const std::string& sData) {
    if (m_ended) return;
    const std::string letter = charAt(sData, 2);
    const int port = static_cast<int>(numericValue(charAt(sData, 1)));
    const int index = Index(letter, port);
    if (index <= 0 || index >= StreamTable::kEntries || !m_streams[index].inUse()) return;
    emit trafficChanged(index, Traffic::In);
    m_streams[index].IdleMinutes = 1;
    m_streams[index].LastHeard = m_clock.now();
    m_counters.bytesFromRadio += sData.size() > 3 ? sData.size() - 3 : 0;
    // After a Bye the user's lines are shown but no longer acted on.
    if (m_streams[index].ByePending) {
        MonitorMsg(port, toLower(letter), sData);
        return;
    }
    switch (m_streams[index].Input) {
    case InputState::Subject:
        interpretSubject(index, sData);
        break;
    case InputState::Body:
        interpretBody(index, sData);
        break;
    case InputState::Command: {
        const std::uint64_t connection = m_streams[index].Connection;
        tellSetAside(index, false);
        // Sending lets events run: the user may have gone meanwhile.
        if (m_streams[index].inUse() && m_streams[index].Connection == connection)
            interpretCommand(index, sData);
        break;
    }
    }
}

bool NodeCore::NewStream(const std::string& sStreamID, const std::string& sCall, int nPort) {
    if (sStreamID.size() != 1) return false;
    const int index = Index(sStreamID, nPort);
    if (index < 0 || index > kMaxUsers || m_streams[index].inUse()) return false;
    StreamRecord& entry = m_streams[index];
    entry.clearTexts();
    entry.IdleMinutes = 1;
    entry.CallSign = sCall;
    entry.Port = static_cast<std::int16_t>(nPort);
    entry.StreamID = sStreamID;
    entry.Connection = ++m_connections;
    entry.ConnectedAt = entry.LastHeard = m_clock.now();
    if (index > 0) {
        ++m_counters.sessions;
        emit streamChanged(index, streamLabel(index), true);
    }
    return true;
}

bool NodeCore::KillStream(int nStream) {
    if (nStream < 0 || nStream > kMaxUsers || !m_streams[nStream].inUse()) return false;
    StreamRecord& entry = m_streams[nStream];
    // A departed user's lists and reads leave the queue; nobody would read their answers.
    if (nStream > 0) {
        const auto dropped = m_queues.CommandQueue.dropReads(nStream);
        for (const std::string& session : dropped)
            m_pending.erase(session);
        if (!dropped.empty())
            Log(std::to_string(entry.Port) + "/" + entry.StreamID + ": " +
                std::to_string(dropped.size()) + " request(s) of " + entry.CallSign +
                " dropped: no longer connected @ " + now());
    }
    entry.IdleMinutes = 0;
    entry.clearTexts();
    entry.Connection = 0;
    entry.ListedMids = {std::string()};
    if (nStream > 0) {
        emit streamChanged(nStream, streamLabel(nStream), false);
        emit trafficChanged(nStream, Traffic::None);
    }
    return true;
}

bool NodeCore::CheckConnection(const std::string& sStreamID, int nPort) {
    const std::string prompt = std::string(1, CR) + kPrompt;
    const std::string dialFailed =
        "Dial up connection failed. Only Help, Info & Bye commands available." + prompt;
    auto send = [&](const std::string& text) { radioSend(nPort, sStreamID, text); };
    const IpConnectionType type = m_radio->ipConnectionType();
    if (type != IpConnectionType::DialUp) {
        if (m_radio->VerifyFullTime()) {
            send(CR + std::string("IP connection verified.") + prompt);
            return true;
        }
        if (type == IpConnectionType::FullTime) {
            send(CR +
                 std::string("IP connection failed. Only Help, Info & Bye commands available.") +
                 prompt);
            return false;
        }
        send(CR + std::string("Full time IP connection failed. Trying Dial up..."));
        if (m_radio->VerifyConnection()) {
            send("Dial up IP connection verified." + prompt);
            return true;
        }
        send(dialFailed);
        return false;
    }
    if (m_radio->bConnectedByDialup()) return true;
    send(CR + std::string("Making dial up connection. Please standby..."));
    if (m_radio->VerifyConnection()) {
        send("IP connection verified." + prompt);
        return true;
    }
    send(dialFailed);
    return false;
}

std::string NodeCore::streamLabel(int index) const {
    if (m_radio == nullptr) return std::string();
    const std::string label = m_radio->GetLabel(index);
    const StreamRecord& entry = m_streams[index];
    return entry.inUse() && index > 0 ? label + "       " + entry.CallSign : label;
}

void NodeCore::MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg) {
    const int index = Index(sStreamID, nPort);
    if (index < 1 || index > kMaxUsers) return;
    std::string text = sMsg.size() > 3 ? sMsg.substr(3) : std::string();
    const std::string prefix = std::to_string(nPort) + "/" + sStreamID + ":  ";
    while (!text.empty()) {
        std::string line;
        const auto cr = text.find(CR);
        if (cr != std::string::npos) {
            line = text.substr(0, cr);
            text.erase(0, cr + 1);
        } else {
            line.swap(text);
        }
        std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
        if (m_monitor.add(index, prefix + line)) emit followedLineAdded(prefix + line);
    }
}

void NodeCore::Log(const std::string& sMsg) {
    m_log->Log(sMsg);
}

void NodeCore::showOutgoingTraffic(int index) {
    if (index < 1 || index > kMaxUsers) return;
    emit trafficChanged(index, Traffic::Out);
}

void NodeCore::setTncStatus(const std::string& text, bool working) {
    if (m_tncWorking && !working) {
        ++m_counters.tncFaults;
        m_lastTncFault = m_clock.now();
    }
    m_tncStatusText = text;
    m_tncWorking = working;
    emit tncStatusChanged(text, working);
}

std::string NodeCore::serverAddress() const {
    return m_setup != nullptr ? m_setup->serverAddress() : std::string();
}

void NodeCore::setServerIndicator(ServerIndicator state) {
    setServerState(state == ServerIndicator::Connected ? ServerState::Connected
                                                       : ServerState::Closed);
}

void NodeCore::setServerState(ServerState state) {
    m_serverState = state;
    emit serverStateChanged(state);
}

void NodeCore::radioSend(int port, const std::string& letter, const std::string& text) {
    if (m_radio == nullptr) return;
    m_counters.bytesToRadio += text.size();
    m_radio->SendData(port, letter, text);
}

void NodeCore::radioSendFile(int port, const std::string& letter, const std::string& file) {
    if (m_radio == nullptr) return;
    m_counters.bytesToRadio += m_radio->SendFile(port, letter, file);
}

int NodeCore::requestsWaiting(int index) const {
    if (!StreamTable::valid(index)) return 0;
    const std::uint64_t connection = m_streams[index].Connection;
    int count = 0;
    for (const auto& [session, asker] : m_pending)
        if (sessionStream(session) == index && asker.connection == connection) ++count;
    return count;
}

void NodeCore::PostLog(int nStream, const std::string& sMsg, JournalPriority priority) {
    if (!StreamTable::valid(nStream)) return;
    const StreamRecord& entry = m_streams[nStream];
    postLogFor(entry.Port, entry.StreamID, entry.CallSign, sMsg, priority);
}

void NodeCore::postLogFor(int port, const std::string& stream, const std::string& call,
                          const std::string& sMsg, JournalPriority priority) {
    m_log->Log(std::to_string(port) + "/" + stream + " " + call + "; " + stampText(m_clock.now()) +
                   "  " + sMsg,
               priority);
}

void NodeCore::FlushLog() {
    m_log->FlushLog();
}

void NodeCore::heartbeat() {
    m_settings.write(settingsSection(), "Active", heartbeatText(m_clock.now()));
    // While shutting down the heartbeat alone goes on.
    if (m_ended) return;
    FlushLog();
    bool userConnected = false;
    for (int i = 1; i <= kMaxUsers; ++i) {
        StreamRecord& entry = m_streams[i];
        if (entry.IdleMinutes != 0) {
            userConnected = true;
            ++entry.IdleMinutes;
        }
        if (entry.IdleMinutes == 12) {
            MonitorMsg(entry.Port, entry.StreamID, "    Channel Timeout @ " + now());
            Log(std::to_string(entry.Port) + "/" + entry.StreamID + ": Channel Timeout @ " + now());
            if (m_radio != nullptr) m_radio->SendDisconnect(entry.Port, entry.StreamID);
        }
        if (entry.IdleMinutes > 12) KillStream(i);
    }
    if (m_radio == nullptr) return;
    if (!userConnected) {
        setServerState(ServerState::Idle);
        if (m_radio->bConnectedByDialup()) {
            if (m_hangUpCountdown > 0)
                --m_hangUpCountdown;
            else
                m_radio->hangUp();
        }
    } else {
        m_hangUpCountdown = hangUpMinutes(m_radio->hangUpDelayText());
    }
}

void NodeCore::openSetup() {
    if (m_setup != nullptr) m_setup->openSetup();
}

void NodeCore::saveMonitorToLog() {
    if (m_setup == nullptr || !m_setup->logEnabled()) {
        m_dialogs.message(DialogIcon::Exclamation, "Logging Not Enabled!",
                          "Logging not enable...Check Enable Log checkbox on Setup form.");
        return;
    }
    if (m_monitor.followed().empty()) return;
    Log("********* Manual List Save @ " + now() + " *********");
    for (const std::string& line : m_monitor.followed())
        Log(line);
    Log(std::string(30, '*'));
}

bool NodeCore::requestStop() {
    if (m_ended) return true;
    // A copy refused at start-up holds no instance: the heartbeat and the log are another
    // copy's, and nothing of them is touched.
    if (!m_instanceLock) {
        m_ended = true;
        return true;
    }
    // A stop that comes while a TNC operation or a wait is on the stack ends the waits and
    // runs once they have returned: nothing they use may be freed under them.
    if (m_setup != nullptr && m_setup->waitRunning()) {
        m_setup->endWaits(true);
        QTimer::singleShot(kStopRetry, this, [this] { requestStop(); });
        return false;
    }
    shutdown();
    return true;
}

void NodeCore::shutdown() {
    if (m_ended) return;
    m_ended = true;
    m_pollTimer.stop();
    // Users still on at the stop leave with the node; the log says so, as for any link.
    for (int index = 1; index < StreamTable::kEntries; ++index) {
        const StreamRecord& entry = m_streams[index];
        if (!entry.inUse()) continue;
        Log(std::to_string(entry.Port) + "/" + entry.StreamID + ": DISCONNECTED from " +
            entry.CallSign + " @ " + now() + " (node closing)");
    }
    if (m_setup != nullptr) m_setup->endWaits(false);
    if (m_setup != nullptr && m_lastInitOK && m_setup->portOpen()) {
        if (m_setup->restoreChecked()) {
            emit restoring("Restoring " + m_setup->tncType() + " ...Please wait.");
            m_setup->Restore();
        } else {
            emit restoring("Resetting " + m_setup->tncType() + " to Terminal mode....Please wait.");
            m_setup->ClearHostMode();
        }
    }
    // Messages only a deleted spool file still holds end with the node: each is named.
    if (m_spool.detached())
        if (const auto waiting = m_spool.waitingList())
            for (const SpooledMessage& message : *waiting)
                logSpool("MID : " + loggable(message.Mid, kMaxErrorText) +
                             " lost: the spool file was deleted and could not be made anew.",
                         JournalPriority::Error);
    Log("...Brevane Version " + versionText() + " closing @ " + now());
    m_log->close();
    if (m_setup != nullptr) m_setup->unloadSetup();
    m_heartbeatTimer.stop();
    m_settings.write(settingsSection(), "Active", "0");
    emit ended();
}

} // namespace gw
