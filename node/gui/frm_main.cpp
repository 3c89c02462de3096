// The main window: its controls, and how it follows the core's signals.
#include "gui/frm_main.h"

#include "common/text.h"
#include "gui/colours.h"
#include "gui/frm_about.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gw {
namespace {
const char* const kViewEntries[5] = {"Connections", "Sysop", "Setup", "About", "Exit"};
} // namespace

frmMain::frmMain(NodeCore& core, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_core(core), m_dialogs(dialogs) {
    buildWindow();
    if (!m_core.instance().empty())
        setWindowTitle(windowTitle() + toQString(" (" + m_core.instance() + ")"));
    follow();
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
    for (std::size_t i = 0; i < lblCall.size(); ++i) {
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

void frmMain::follow() {
    connect(&m_core, &NodeCore::streamChanged, this, &frmMain::showStream);
    connect(&m_core, &NodeCore::trafficChanged, this, &frmMain::showTraffic);
    connect(&m_core, &NodeCore::serverStateChanged, this, &frmMain::showServerState);
    connect(&m_core, &NodeCore::tncStatusChanged, this,
            [this](const std::string& text, bool working) {
                lblTNC->setText(toQString(text));
                setBackground(lblTNC, working ? kLightGreen : kLightRed);
            });
    connect(&m_core, &NodeCore::followedLineAdded, this, &frmMain::showMonitorLine);
    connect(&m_core, &NodeCore::consoleChanged, this, &frmMain::showConsole);
    connect(&m_core, &NodeCore::restoring, this, &frmMain::showRestoring);
    connect(&m_core, &NodeCore::handedOver, this, [this](bool initializing) {
        if (!initializing) hide();
    });
    connect(&m_core, &NodeCore::serverLinkLoaded, this,
            [this](const std::string& server, const std::string& local) {
                lblCMBO->setText(toQString(server));
                lblLocalIP->setText(toQString(local));
            });
    // The rows themselves follow streamChanged, which an initialization raises for each.
    connect(&m_core, &NodeCore::initialized, this,
            [this](bool, bool logEnabled) { btnSavetoLog->setEnabled(logEnabled); });
    connect(&m_core, &NodeCore::setupLeft, this, &QWidget::show);
    connect(m_monitorGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) m_core.setMonitoredStream(id + 1);
    });
}

void frmMain::showStream(int index, const std::string& label, bool inUse) {
    if (index < 1 || index > kMaxUsers) return;
    QLabel* shown = lblCall[static_cast<std::size_t>(index - 1)];
    shown->setText(toQString(label));
    setBackground(shown, inUse ? std::optional<QColor>(kLightYellow) : std::nullopt);
}

void frmMain::showServerState(ServerState state) {
    std::optional<QColor> colour;
    switch (state) {
    case ServerState::Unknown:
    case ServerState::Idle:
        break;
    case ServerState::Verified:
    case ServerState::Closed:
        colour = kLightYellow;
        break;
    case ServerState::Unreachable:
        colour = kLightRed;
        break;
    case ServerState::Connected:
        colour = kLightGreen;
        break;
    }
    setBackground(lblCMBO, colour);
}

void frmMain::showTraffic(int index, Traffic traffic) {
    if (index < 1 || index > kMaxUsers) return;
    QLabel* shown = lblTfc[static_cast<std::size_t>(index - 1)];
    switch (traffic) {
    case Traffic::In:
        shown->setText("  ------>");
        setBackground(shown, kLightRed);
        break;
    case Traffic::Out:
        shown->setText("  <------");
        setBackground(shown, kLightGreen);
        break;
    case Traffic::None:
        shown->clear();
        setBackground(shown, std::nullopt);
        break;
    }
}

void frmMain::showMonitorLine(const std::string& line) {
    lstMonitor->addItem(toQString(line));
    while (static_cast<std::size_t>(lstMonitor->count()) > Monitor::kFollowedLines)
        delete lstMonitor->takeItem(0);
    lstMonitor->setCurrentRow(lstMonitor->count() - 1);
}

void frmMain::showRestoring(const std::string& text) {
    fraConnections->hide();
    fraSysop->hide();
    lblRestoring->setText(toQString(text));
    lblRestoring->show();
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
        m_core.openSetup();
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
    m_core.saveMonitorToLog();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_core.requestStop())
        event->accept();
    else
        event->ignore();
}

} // namespace gw
