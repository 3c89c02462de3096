// The main window: start-up, streams, monitor, log, View menu and shutdown.
#include "core/frm_main.h"

#include "common/colours.h"
#include "common/datetime.h"
#include "common/text.h"
#include "core/frm_about.h"
#include "core/instance.h"
#include "core/version_text.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace gw {
namespace {
constexpr char CR = '\r';
const char* const kViewEntries[5] = {"Connections", "Sysop", "Setup", "About", "Exit"};

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

frmMain::frmMain(SettingsStore& settings, const Clock& clock, Dialogs& dialogs,
                 ServerQueues& queues, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_clock(clock), m_dialogs(dialogs),
      m_queues(queues) {
    m_log = std::make_unique<NodeLog>(
        NodeLog::Source{[this] { return m_setup != nullptr && m_setup->logEnabled(); },
                        [this] { return m_setup != nullptr ? m_setup->filePath() : std::string(); },
                        [this] { return m_setup != nullptr ? m_setup->nodeCall() : std::string(); },
                        [this] { return sInstance; }},
        m_clock);
    buildWindow();
    tmrActiveTimer1.setInterval(60'000);
    connect(&tmrActiveTimer1, &QTimer::timeout, this, &frmMain::tmrActiveTimer1_Timer);
    tmr.setInterval(1'000);
    connect(&tmr, &QTimer::timeout, this, &frmMain::tmr_Timer);
}

frmMain::~frmMain() = default;

void frmMain::buildWindow() {
    setObjectName("frmMain");
    setWindowTitle("Corvale Brevane");
    // 7,845 by 6,800 twips at 15 twips a pixel.
    setMinimumSize(523, 453);

    QMenu* view = menuBar()->addMenu("View");
    view->setObjectName("mnuViewMenu");
    for (int i = 0; i < 5; ++i) {
        mnuView[static_cast<std::size_t>(i)] = view->addAction(kViewEntries[i]);
        mnuView[static_cast<std::size_t>(i)]->setObjectName(QString("mnuView%1").arg(i + 1));
        connect(mnuView[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { mnuView_Click(i + 1); });
    }

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    setCentralWidget(central);

    fraConnections = new QGroupBox("Connections", central);
    fraConnections->setObjectName("fraConnections");
    auto* connectionsLayout = new QVBoxLayout(fraConnections);

    auto* packet = new QGroupBox("Packet Connections", fraConnections);
    packet->setObjectName("fraPacket");
    auto* grid = new QGridLayout(packet);
    grid->setHorizontalSpacing(0);
    // The header is one line of fixed-width text; the columns below take the widths of its
    // parts, so "Traffic" and "Mon" stand over their columns.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics metrics(fixed);
    auto* header = new QLabel("Port/Stream   Call sign           Traffic    Mon", packet);
    header->setFont(fixed);
    grid->addWidget(header, 0, 0, 1, 3);
    const int callWidth = metrics.horizontalAdvance(QString(34, ' '));
    const int trafficWidth = metrics.horizontalAdvance(QString(11, ' '));
    m_monitorGroup = new QButtonGroup(this);
    m_monitorGroup->setExclusive(true);
    for (std::size_t i = 0; i < 10; ++i) {
        lblCall[i] = new QLabel(packet);
        lblCall[i]->setObjectName(QString("lblCall%1").arg(i));
        lblCall[i]->setFont(fixed);
        lblCall[i]->setFixedWidth(callWidth);
        lblTfc[i] = new QLabel(packet);
        lblTfc[i]->setObjectName(QString("lblTfc%1").arg(i));
        lblTfc[i]->setFont(fixed);
        lblTfc[i]->setFixedWidth(trafficWidth);
        optMon[i] = new QRadioButton(packet);
        optMon[i]->setObjectName(QString("optMon%1").arg(i));
        m_monitorGroup->addButton(optMon[i], static_cast<int>(i));
        const int row = static_cast<int>(i) + 1;
        grid->addWidget(lblCall[i], row, 0);
        grid->addWidget(lblTfc[i], row, 1);
        grid->addWidget(optMon[i], row, 2, Qt::AlignLeft);
    }
    grid->setColumnStretch(3, 1);
    connectionsLayout->addWidget(packet);

    auto* server = new QGroupBox("SMS Server", fraConnections);
    server->setObjectName("fraServer");
    auto* serverLayout = new QGridLayout(server);
    lblCMBO = new QLabel(server);
    lblCMBO->setObjectName("lblCMBO");
    lblLocalIP = new QLabel(server);
    lblLocalIP->setObjectName("lblLocalIP");
    lblTNC = new QLabel(server);
    lblTNC->setObjectName("lblTNC");
    serverLayout->addWidget(lblCMBO, 0, 0);
    serverLayout->addWidget(lblLocalIP, 0, 1);
    serverLayout->addWidget(lblTNC, 1, 0, 1, 2);
    connectionsLayout->addWidget(server);

    lstMonitor = new QListWidget(fraConnections);
    lstMonitor->setObjectName("lstMonitor");
    lstMonitor->setToolTip("Monitor Window for selected stream. Can me manually saved to log.");
    connectionsLayout->addWidget(lstMonitor, 1);
    btnSavetoLog = new QPushButton("Save Monitor to Log", fraConnections);
    btnSavetoLog->setObjectName("btnSavetoLog");
    btnSavetoLog->setToolTip("Save the Monitor List to the log file (logging must be enabled)");
    connect(btnSavetoLog, &QPushButton::clicked, this, &frmMain::btnSavetoLog_Click);
    connectionsLayout->addWidget(btnSavetoLog, 0, Qt::AlignLeft);

    fraSysop = new QGroupBox("Sysop/Test", central);
    fraSysop->setObjectName("fraSysop");
    fraSysop->setVisible(false);
    buildConsole(fraSysop);

    lblRestoring = new QLabel(central);
    lblRestoring->setObjectName("lblRestoring");
    lblRestoring->setVisible(false);

    centralLayout->addWidget(fraConnections, 1);
    centralLayout->addWidget(fraSysop, 1);
    centralLayout->addWidget(lblRestoring);
}

std::string frmMain::now() const {
    return generalDateTime(m_clock.now());
}

bool frmMain::startUp(const std::string& commandLine) {
    sInstance = instanceText(commandLine);
    if (!instanceValid(sInstance)) {
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
    auto lock = std::make_unique<InstanceLock>(instanceLockPath(m_settings.filePath(), sInstance));
    if (lock->state() == InstanceLock::State::Failed) {
        m_dialogs.message(DialogIcon::Critical, "Settings Not Writable!",
                          "Cannot write the instance lock " +
                              instanceLockPath(m_settings.filePath(), sInstance) + ": " +
                              lock->problem());
        return false;
    }
    if (lock->state() == InstanceLock::State::Busy) {
        m_dialogs.message(DialogIcon::Critical, "Instance Already Running!",
                          "Brevane Instance " + sInstance + " already running!");
        return false;
    }
    m_instanceLock = std::move(lock);
    m_settings.write(settingsSection(), "Active", heartbeatText(m_clock.now()));
    setWindowTitle(windowTitle() + toQString(" (" + sInstance + ")"));
    bLastInitOK = m_settings.readBool(settingsSection(), "Initialized", false);
    tmrActiveTimer1.start();
    tmr.start();
    return true;
}

void frmMain::handOver(RadioSide& radio, SetupSide& setup) {
    if (m_ended) return;
    m_radio = &radio;
    m_setup = &setup;
    if (bLastInitOK) {
        m_setup->loadSetup(true);
    } else {
        hide();
        m_setup->loadSetup(false);
    }
}

void frmMain::showServerLink(const std::string& server, const std::string& local) {
    lblCMBO->setText(toQString(server));
    lblLocalIP->setText(toQString(local));
}

void frmMain::showInitialized(bool ok, bool logEnabled) {
    btnSavetoLog->setEnabled(logEnabled);
    if (!ok || m_radio == nullptr) return;
    for (std::size_t i = 0; i < lblCall.size(); ++i)
        lblCall[i]->setText(toQString(m_radio->GetLabel(static_cast<int>(i) + 1)));
}

int frmMain::Index(const std::string& sStreamID, int nPort) {
    if (m_radio == nullptr) return 0;
    return streamIndex(sStreamID, nPort, m_radio->bPort1(), m_radio->bPort2(),
                       m_radio->lMaxusers1());
}

void frmMain::StatusEvent(const std::string& sStatus) {
    if (m_ended) return;
    const std::string letter = charAt(sStatus, 2);
    const int port = static_cast<int>(numericValue(charAt(sStatus, 1)));
    const int index = Index(letter, port);
    if (index <= 0 || index >= StreamTable::kEntries) return;
    const std::string portText = std::to_string(port);

    if (containsNoCase(sStatus, "DISCONNECTED")) {
        if (!Streams[index].inUse()) return;
        const std::string call = Streams[index].CallSign;
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
    m_radio->SendFile(port, letter, "banner.txt");
    setBackground(lblCMBO, CheckConnection(letter, port) ? kLightYellow : kLightRed);
}

void frmMain::DataEvent(const std::string& sData) {
    if (m_ended) return;
    const std::string letter = charAt(sData, 2);
    const int port = static_cast<int>(numericValue(charAt(sData, 1)));
    const int index = Index(letter, port);
    if (index <= 0 || index >= StreamTable::kEntries || !Streams[index].inUse()) return;
    lblTfc[static_cast<std::size_t>(index - 1)]->setText("  ------>");
    setBackground(lblTfc[static_cast<std::size_t>(index - 1)], kLightRed);
    Streams[index].IdleMinutes = 1;
    // After a Bye the user's lines are shown but no longer acted on.
    if (Streams[index].ByePending) {
        MonitorMsg(port, toLower(letter), sData);
        return;
    }
    switch (Streams[index].InputState) {
    case 1:
        interpretSubject(index, sData);
        break;
    case 2:
        interpretBody(index, sData);
        break;
    default:
        interpretCommand(index, sData);
        break;
    }
}

bool frmMain::NewStream(const std::string& sStreamID, const std::string& sCall, int nPort) {
    if (sStreamID.size() != 1) return false;
    const int index = Index(sStreamID, nPort);
    if (index < 0 || index > 10 || Streams[index].inUse()) return false;
    StreamRecord& entry = Streams[index];
    entry.clearTexts();
    entry.IdleMinutes = 1;
    entry.CallSign = sCall;
    entry.Port = static_cast<std::int16_t>(nPort);
    entry.StreamID = sStreamID;
    entry.Connection = ++m_connections;
    if (index > 0) {
        QLabel* label = lblCall[static_cast<std::size_t>(index - 1)];
        label->setText(toQString(m_radio->GetLabel(index) + "       " + sCall));
        setBackground(label, kLightYellow);
    }
    return true;
}

bool frmMain::KillStream(int nStream) {
    if (nStream < 0 || nStream > 10 || !Streams[nStream].inUse()) return false;
    StreamRecord& entry = Streams[nStream];
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
        const auto i = static_cast<std::size_t>(nStream - 1);
        lblCall[i]->setText(toQString(m_radio != nullptr ? m_radio->GetLabel(nStream) : ""));
        setBackground(lblCall[i], std::nullopt);
        lblTfc[i]->clear();
        setBackground(lblTfc[i], std::nullopt);
    }
    return true;
}

bool frmMain::CheckConnection(const std::string& sStreamID, int nPort) {
    const std::string prompt = std::string(1, CR) + "SMS>";
    const std::string dialFailed =
        "Dial up connection failed. Only Help, Info & Bye commands available." + prompt;
    auto send = [&](const std::string& text) { m_radio->SendData(nPort, sStreamID, text); };
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

void frmMain::MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg) {
    const int i = Index(sStreamID, nPort) - 1;
    if (i < 0 || i > 9 || !optMon[static_cast<std::size_t>(i)]->isChecked()) return;
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
        lstMonitor->addItem(toQString(prefix + line));
        if (lstMonitor->count() > kMonitorLines) delete lstMonitor->takeItem(0);
    }
    if (lstMonitor->count() > 0) lstMonitor->setCurrentRow(lstMonitor->count() - 1);
}

void frmMain::Log(const std::string& sMsg) {
    m_log->Log(sMsg);
}

void frmMain::showOutgoingTraffic(int index) {
    if (index < 1 || index > 10) return;
    QLabel* label = lblTfc[static_cast<std::size_t>(index - 1)];
    label->setText("  <------");
    setBackground(label, kLightGreen);
}

void frmMain::setTncStatus(const std::string& text, bool working) {
    lblTNC->setText(toQString(text));
    setBackground(lblTNC, working ? kLightGreen : kLightRed);
}

std::string frmMain::serverAddress() const {
    return m_setup != nullptr ? m_setup->serverAddress() : std::string();
}

void frmMain::setServerIndicator(ServerIndicator state) {
    const IndicatorColour colour = indicatorColour(state);
    setBackground(lblCMBO, QColor(colour.red, colour.green, colour.blue));
}

void frmMain::PostLog(int nStream, const std::string& sMsg, JournalPriority priority) {
    if (!StreamTable::valid(nStream)) return;
    const StreamRecord& entry = Streams[nStream];
    postLogFor(entry.Port, entry.StreamID, entry.CallSign, sMsg, priority);
}

void frmMain::postLogFor(int port, const std::string& stream, const std::string& call,
                         const std::string& sMsg, JournalPriority priority) {
    m_log->Log(std::to_string(port) + "/" + stream + " " + call + "; " + stampText(m_clock.now()) +
                   "  " + sMsg,
               priority);
}

void frmMain::FlushLog() {
    m_log->FlushLog();
}

void frmMain::tmrActiveTimer1_Timer() {
    m_settings.write(settingsSection(), "Active", heartbeatText(m_clock.now()));
    // While shutting down the heartbeat alone goes on.
    if (m_ended) return;
    FlushLog();
    bool userConnected = false;
    for (int i = 1; i <= 10; ++i) {
        StreamRecord& entry = Streams[i];
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
        setBackground(lblCMBO, std::nullopt);
        if (m_radio->bConnectedByDialup()) {
            if (HangUpCountdown > 0)
                --HangUpCountdown;
            else
                m_radio->DisconnectDialup();
        }
    } else {
        HangUpCountdown = hangUpMinutes(m_radio->hangUpDelayText());
    }
}

void frmMain::mnuView_Click(int index) {
    switch (index) {
    case 1:
        fraSysop->hide();
        fraConnections->show();
        break;
    case 2:
        fraConnections->hide();
        fraSysop->show();
        txtUserCall_LostFocus();
        break;
    case 3:
        if (m_setup != nullptr) m_setup->showSetup();
        break;
    case 4:
        if (!m_about) m_about = new frmAbout(this);
        m_about->show();
        break;
    case 5:
        if (m_dialogs.message(DialogIcon::None, "Exit Gullwick",
                              "Are you sure you want to exit of Gullwick?",
                              DialogButtons::OkCancel) == DialogAnswer::Ok)
            close();
        break;
    default:
        break;
    }
}

void frmMain::btnSavetoLog_Click() {
    if (m_setup == nullptr || !m_setup->logEnabled()) {
        m_dialogs.message(DialogIcon::Exclamation, "Logging Not Enabled!",
                          "Logging not enable...Check Enable Log checkbox on Setup form.");
        return;
    }
    if (lstMonitor->count() == 0) return;
    Log("********* Manual List Save @ " + now() + " *********");
    for (int i = 0; i < lstMonitor->count(); ++i)
        Log(fromQString(lstMonitor->item(i)->text()));
    Log(std::string(30, '*'));
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A stop that comes while a TNC operation or a wait is on the stack ends the waits and
    // runs once they have returned: nothing they use may be freed under them.
    if (!m_ended && m_setup != nullptr && m_setup->waitRunning()) {
        event->ignore();
        m_setup->endWaits(true);
        QTimer::singleShot(kStopRetry, this, [this] { close(); });
        return;
    }
    shutdown();
    event->accept();
}

void frmMain::shutdown() {
    if (m_ended) return;
    m_ended = true;
    tmr.stop();
    // Users still on at the stop leave with the node; the log says so, as for any link.
    for (int index = 1; index < StreamTable::kEntries; ++index) {
        const StreamRecord& entry = Streams[index];
        if (!entry.inUse()) continue;
        Log(std::to_string(entry.Port) + "/" + entry.StreamID + ": DISCONNECTED from " +
            entry.CallSign + " @ " + now() + " (node closing)");
    }
    if (m_setup != nullptr) m_setup->endWaits(false);
    if (m_setup != nullptr && bLastInitOK && m_setup->portOpen()) {
        fraConnections->hide();
        fraSysop->hide();
        if (m_setup->restoreChecked()) {
            lblRestoring->setText(
                toQString("Restoring " + m_setup->tncType() + " ...Please wait."));
            lblRestoring->show();
            m_setup->Restore();
        } else {
            lblRestoring->setText(
                toQString("Resetting " + m_setup->tncType() + " to Terminal mode....Please wait."));
            lblRestoring->show();
            m_setup->ClearHostMode();
        }
    }
    Log("...Brevane Version " + versionText() + " closing @ " + now());
    m_log->close();
    if (m_setup != nullptr) m_setup->unloadSetup();
    tmrActiveTimer1.stop();
    m_settings.write(settingsSection(), "Active", "0");
    emit ended();
}

} // namespace gw
