// The setup window: its controls, lists and menu, the operator's edits and clicks passed to
// the setup core, and the password windows it opens.
#include "gui/frm_tnc.h"

#include "common/text.h"
#include "gui/frm_initializing.h"
#include "gui/frm_password.h"
#include "gui/frm_tnc_web_password.h"
#include "setup/instance_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gw {
namespace {
QComboBox* makeCombo(QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QLabel* makeLabel(const char* text, QWidget* parent) {
    return new QLabel(text, parent);
}

constexpr const char* kSerialFrame = "Serial port and TNC";
constexpr const char* kAgwFrame = "Modem program (AGW) and node";

// The port options' captions and tool tips: a TNC's radio ports, or the modem program's
// channels, which it numbers from 0.
struct PortTexts {
    const char* caption;
    const char* toolTip;
};
constexpr PortTexts kTncPorts[3] = {{"Port 1", "Select Port 1 Only on this TNC"},
                                    {"Port 2", "Select Port 2 only on this TNC"},
                                    {"Both", "Select Both ports 1 and 2 on this TNC"}};
constexpr PortTexts kKissPorts[3] = {
    {"Port 1 (KISS 0)", "Serve the KISS TNC's first radio port only (its KISS port 0)"},
    {"Port 2 (KISS 1)", "Serve the KISS TNC's second radio port only (its KISS port 1)"},
    {"Both", "Serve both radio ports of the KISS TNC (KISS ports 0 and 1)"}};
constexpr PortTexts kAgwPorts[3] = {
    {"Port 1 (AGW 0)", "Serve the modem program's first radio channel only (its AGW port 0)"},
    {"Port 2 (AGW 1)", "Serve the modem program's second radio channel only (its AGW port 1)"},
    {"Both", "Serve both radio channels of the modem program (AGW ports 0 and 1)"}};

} // namespace

frmTNC::frmTNC(NodeSetup& setup, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_setup(setup), m_dialogs(dialogs) {
    buildWindow();
    fillLists();
    ComboType_Click();
    // A child of the setup window, so that a failure text stays in front of it.
    m_progress = std::make_unique<frmInitializing>(m_setup, this);
    forwardEdits();
    followSetup();
}

frmTNC::~frmTNC() = default;

void frmTNC::buildWindow() {
    setObjectName("frmTNC");
    setWindowTitle("Corvale SMS Setup");

    QMenu* menu = menuBar()->addMenu("TNC");
    menu->setObjectName("mnuTNCMenu");
    const char* entries[4] = {"Initialize", "Cancel", "Set Password", "Check TNC Comm"};
    for (int i = 0; i < 4; ++i) {
        auto* action = menu->addAction(entries[i]);
        action->setObjectName(QString("mnuTNC%1").arg(i + 1));
        connect(action, &QAction::triggered, this, [this, i] { mnuTNC_Click(i + 1); });
        mnuTNC[static_cast<std::size_t>(i)] = action;
    }

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);

    auto* serial = new QGroupBox(kSerialFrame, central);
    serial->setObjectName("fraSerial");
    fraSerial = serial;
    auto* form = new QFormLayout(serial);
    ComboPort = makeCombo(serial, "ComboPort");
    ComboSpeed = makeCombo(serial, "ComboSpeed");
    ComboLength = makeCombo(serial, "ComboLength");
    ComboParity = makeCombo(serial, "ComboParity");
    ComboStop = makeCombo(serial, "ComboStop");
    ComboType = makeCombo(serial, "ComboType");
    ComboFlow = makeCombo(serial, "ComboFlow");
    form->addRow(makeLabel("Comm port:", serial), ComboPort);
    form->addRow(makeLabel("Baud Rate:", serial), ComboSpeed);
    form->addRow(makeLabel("Data Length", serial), ComboLength);
    form->addRow(makeLabel("Parity", serial), ComboParity);
    form->addRow(makeLabel("Stop", serial), ComboStop);
    form->addRow(makeLabel("TNC Type", serial), ComboType);
    form->addRow(makeLabel("Flow Ctrl", serial), ComboFlow);
    txtAGWAddress = new QLineEdit(serial);
    txtAGWAddress->setObjectName("txtAGWAddress");
    txtAGWAddress->setToolTip("host:port of the modem program's AGW interface (its AGWPORT)");
    form->addRow(makeLabel("AGW Address", serial), txtAGWAddress);
    form->addRow(buildKissFrame(serial));
    m_lineForm = form;
    txtMBOCall = new QLineEdit(serial);
    txtMBOCall->setObjectName("txtMBOCall");
    txtMBOCall->setToolTip("The node's call sign with optional SSID, linked to the password");
    txtMBOCall->installEventFilter(this);
    form->addRow(makeLabel("Node Call Sign", serial), txtMBOCall);
    txtPath = new QLineEdit(serial);
    txtPath->setObjectName("txtPath");
    txtPath->setToolTip("Full path for banner, info, help and .aps files");
    // Wide enough for a usual path such as /home/operator/.local/share/gullwick/.
    txtPath->setMinimumWidth(txtPath->fontMetrics().horizontalAdvance(QString(44, '0')));
    form->addRow(makeLabel("File Path", serial), txtPath);
    chkEnbLog = new QCheckBox("Enable Logging", serial);
    chkEnbLog->setObjectName("chkEnbLog");
    chkEnbLog->setToolTip("Enable logging to the log file.");
    form->addRow(chkEnbLog);
    chkRestore = new QCheckBox("Restore TNC settings on shutdown", serial);
    chkRestore->setObjectName("chkRestore");
    chkRestore->setToolTip("Check this to restore original TNC settings and exit Host Mode on "
                           "SMS shutdown.");
    form->addRow(chkRestore);
    fraMultiport = new QGroupBox("Multi Port", serial);
    fraMultiport->setObjectName("fraMultiport");
    fraMultiport->setToolTip("For Multiport TNCs check which packet port to use (or both).");
    auto* ports = new QHBoxLayout(fraMultiport);
    optPort1 = new QRadioButton(fraMultiport);
    optPort1->setObjectName("optPort1");
    optPort2 = new QRadioButton(fraMultiport);
    optPort2->setObjectName("optPort2");
    optBoth = new QRadioButton(fraMultiport);
    optBoth->setObjectName("optBoth");
    m_portGroup = new QButtonGroup(this);
    for (QRadioButton* option : {optPort1, optPort2, optBoth}) {
        ports->addWidget(option);
        m_portGroup->addButton(option);
    }
    form->addRow(fraMultiport);
    lblCommStatus = new QLabel(serial);
    lblCommStatus->setObjectName("lblCommStatus");
    lblCommStatus->setVisible(false);
    form->addRow(lblCommStatus);
    columns->addWidget(serial);

    auto* ip = new QWidget(central);
    auto* ipColumn = new QVBoxLayout(ip);
    auto* server = new QGroupBox("SMS Server IP address", ip);
    auto* serverRow = new QHBoxLayout(server);
    txtIPAddress = new QLineEdit(server);
    txtIPAddress->setObjectName("txtIPAddress");
    txtIPAddress->setToolTip("Dotted IP address of the SMS Server");
    txtIPAddress->setMinimumWidth(
        txtIPAddress->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255000")));
    txtIPPort = new QLineEdit(server);
    txtIPPort->setObjectName("txtIPPort");
    txtIPPort->setToolTip("TCP port of the SMS Server (empty for 8773)");
    txtIPPort->setPlaceholderText("8773");
    txtIPPort->setValidator(new QIntValidator(1, 65535, txtIPPort));
    txtIPPort->setMaximumWidth(
        txtIPPort->fontMetrics().horizontalAdvance(QStringLiteral("655350")));
    btnPing = new QPushButton("Ping", server);
    btnPing->setObjectName("btnPing");
    btnPing->setToolTip("Manually ping the SMS Server");
    lblPing = new QLabel(server);
    lblPing->setObjectName("lblPing");
    serverRow->addWidget(txtIPAddress, 1);
    serverRow->addWidget(txtIPPort);
    serverRow->addWidget(btnPing);
    serverRow->addWidget(lblPing);
    ipColumn->addWidget(server);

    auto* type = new QGroupBox("IP Connection Type", ip);
    type->setObjectName("fraIPType");
    auto* typeLayout = new QGridLayout(type);
    optFullTime = new QRadioButton("Full time", type);
    optFullTime->setObjectName("optFullTime");
    optFullTime->setToolTip(
        "Select for only full time IP connection. Examples:  LAN, Cable Modem or DSL.");
    optDialUp = new QRadioButton("Dial Up", type);
    optDialUp->setObjectName("optDialUp");
    optDialUp->setToolTip("Select for only Dial up networking connection.");
    optDialBackup = new QRadioButton("FullTime/Dialup", type);
    optDialBackup->setObjectName("optDialBackup");
    optDialBackup->setToolTip("Use full time connection but use Dial up as a backup.");
    m_ipGroup = new QButtonGroup(this);
    for (QRadioButton* option : {optFullTime, optDialUp, optDialBackup})
        m_ipGroup->addButton(option);
    typeLayout->addWidget(optFullTime, 0, 0);
    typeLayout->addWidget(optDialUp, 1, 0);
    typeLayout->addWidget(optDialBackup, 2, 0);
    lstDUN = new QListWidget(type);
    lstDUN->setObjectName("lstDUN");
    lstDUN->setToolTip("Select phone book entry from available Dial Up Network listings.");
    typeLayout->addWidget(lstDUN, 3, 0, 1, 2);
    lblHangUpDelay = new QLabel("Hang Up delay (min)", type);
    lblHangUpDelay->setObjectName("lblHangUpDelay");
    txtHangUpDelay = new QLineEdit(type);
    txtHangUpDelay->setObjectName("txtHangUpDelay");
    txtHangUpDelay->setToolTip("Enter delay from Disconnect to hangup in minutes (0-120)");
    txtHangUpDelay->installEventFilter(this);
    typeLayout->addWidget(lblHangUpDelay, 4, 0);
    typeLayout->addWidget(txtHangUpDelay, 4, 1);
    btnDisconnect = new QPushButton("Disconnect", type);
    btnDisconnect->setObjectName("btnDisconnect");
    btnDisconnect->setToolTip("Disconnect the Dial up connection.");
    btnDisconnect->setVisible(false);
    typeLayout->addWidget(btnDisconnect, 5, 0);
    ipColumn->addWidget(type);
    cmdWebPassword = new QPushButton("Web Password...", ip);
    cmdWebPassword->setObjectName("cmdWebPassword");
    cmdWebPassword->setToolTip("Set the password of the node's web console.");
    ipColumn->addWidget(cmdWebPassword, 0, Qt::AlignLeft);
    ipColumn->addStretch(1);
    columns->addWidget(ip);
}

void frmTNC::fillLists() {
    const std::pair<QComboBox*, QStringList> lists[] = {
        {ComboPort, {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {ComboSpeed, {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600"}},
        {ComboLength, {"7", "8"}},
        {ComboParity, {"E", "M", "N", "O", "S"}},
        {ComboStop, {"1", "1.5", "2"}},
        {ComboFlow, {"RTS/CTS", "NONE"}},
    };
    for (const auto& [combo, choices] : lists) {
        combo->clear();
        combo->addItems(choices);
    }
    ComboType->clear();
    for (const char* type : kTncTypes)
        ComboType->addItem(type);
}

// Every edit reaches the live settings at once; options and buttons call the core.
void frmTNC::forwardEdits() {
    LiveSettings& live = m_setup.live();
    const std::pair<QComboBox*, std::string*> combos[] = {
        {ComboPort, &live.commPort}, {ComboSpeed, &live.baudRate}, {ComboLength, &live.length},
        {ComboParity, &live.parity}, {ComboStop, &live.stop},      {ComboType, &live.tncType},
        {ComboFlow, &live.flow}};
    for (const auto& [combo, value] : combos)
        connect(combo, &QComboBox::currentTextChanged, this,
                [value](const QString& text) { *value = fromQString(text); });
    const std::pair<QLineEdit*, std::string*> boxes[] = {
        {txtAGWAddress, &live.agwAddress}, {txtMBOCall, &live.mboCall},
        {txtPath, &live.initFilePath},     {txtIPAddress, &live.ipAddress},
        {txtIPPort, &live.ipPort},         {txtHangUpDelay, &live.hangUpDelay}};
    for (const auto& [box, value] : boxes)
        connect(box, &QLineEdit::textChanged, this,
                [value](const QString& text) { *value = fromQString(text); });
    connect(chkEnbLog, &QCheckBox::toggled, this, [&live](bool on) { live.enableLog = on; });
    connect(chkRestore, &QCheckBox::toggled, this, [&live](bool on) { live.restore = on; });
    connect(ComboType, &QComboBox::currentTextChanged, this, &frmTNC::ComboType_Click);
    connect(optPort1, &QRadioButton::clicked, this, &frmTNC::optPort1_Click);
    connect(optPort2, &QRadioButton::clicked, this, &frmTNC::optPort2_Click);
    connect(optBoth, &QRadioButton::clicked, this, &frmTNC::optBoth_Click);
    connect(optFullTime, &QRadioButton::clicked, this, &frmTNC::optFullTime_Click);
    connect(optDialUp, &QRadioButton::clicked, this, &frmTNC::optDialUp_Click);
    connect(optDialBackup, &QRadioButton::clicked, this, &frmTNC::optDialBackup_Click);
    connect(btnPing, &QPushButton::clicked, this, &frmTNC::btnPing_Click);
    connect(btnDisconnect, &QPushButton::clicked, this, &frmTNC::btnDisconnect_Click);
    connect(lstDUN, &QListWidget::currentRowChanged, this, &frmTNC::lstDUN_Click);
    connect(cmdWebPassword, &QPushButton::clicked, this, &frmTNC::cmdWebPassword_Click);
    forwardKissEdits();
}

void frmTNC::mnuTNC_Click(int index) {
    switch (index) {
    case 1:
        m_setup.Initialize();
        break;
    case 2:
        m_setup.Cancel();
        break;
    case 3:
        SetPassword();
        break;
    case 4:
        m_setup.CheckTncComm();
        break;
    default:
        break;
    }
}

void frmTNC::optPort1_Click() {
    m_setup.choosePorts(NodeSetup::RadioPorts::First);
}
void frmTNC::optPort2_Click() {
    m_setup.choosePorts(NodeSetup::RadioPorts::Second);
}
void frmTNC::optBoth_Click() {
    m_setup.choosePorts(NodeSetup::RadioPorts::Both);
}
void frmTNC::optFullTime_Click() {
    m_setup.chooseConnection(IpLinkType::FullTime);
}
void frmTNC::optDialUp_Click() {
    m_setup.chooseConnection(IpLinkType::DialUp);
}
void frmTNC::optDialBackup_Click() {
    m_setup.chooseConnection(IpLinkType::DialBackup);
}
void frmTNC::btnPing_Click() {
    m_setup.verifyIpLink();
}
void frmTNC::btnDisconnect_Click() {
    m_setup.hangUp();
}
void frmTNC::lstDUN_Click(int row) {
    m_setup.chooseDialEntry(row);
}
void frmTNC::txtHangUpDelay_Validate() {
    m_setup.setHangUpDelay(fromQString(txtHangUpDelay->text()));
}

void frmTNC::SetPassword() {
    frmPassword window(
        m_setup.password(), [this](const std::string& password) { m_setup.setPassword(password); },
        m_dialogs, this);
    window.exec();
}

void frmTNC::cmdWebPassword_Click() {
    frmWebPassword window(
        [this](const std::string& password) { return m_setup.setWebPassword(password); }, m_dialogs,
        this);
    window.exec();
}

void frmTNC::ComboType_Click() {
    const std::string type = fromQString(ComboType->currentText());
    if (type == "KPC4" || type == "KPC9612" || type == "KAM") fraMultiport->setVisible(true);
    if (type == "KPC1" || type == "KPC2" || type == "KPC3") fraMultiport->setVisible(false);
    // A modem program is reached over TCP: its address stands in for the serial settings,
    // which stay stored for the other types.
    const bool agw = tncFamily(type) == TncFamily::Agw;
    const bool kiss = tncFamily(type) == TncFamily::Kiss;
    if (agw || kiss) fraMultiport->setVisible(true);
    for (QWidget* serialSetting :
         {static_cast<QWidget*>(ComboPort), static_cast<QWidget*>(ComboSpeed),
          static_cast<QWidget*>(ComboLength), static_cast<QWidget*>(ComboParity),
          static_cast<QWidget*>(ComboStop), static_cast<QWidget*>(ComboFlow)})
        m_lineForm->setRowVisible(serialSetting, !agw);
    m_lineForm->setRowVisible(txtAGWAddress, agw);
    m_lineForm->setRowVisible(fraKISS, kiss);
    // Neither a modem program nor a KISS TNC keeps TNC settings to restore.
    m_lineForm->setRowVisible(chkRestore, !agw && !kiss);
    fraSerial->setTitle(agw ? kAgwFrame : kSerialFrame);
    const PortTexts* texts = agw ? kAgwPorts : kiss ? kKissPorts : kTncPorts;
    QRadioButton* const options[3] = {optPort1, optPort2, optBoth};
    for (std::size_t i = 0; i < 3; ++i) {
        options[i]->setText(texts[i].caption);
        options[i]->setToolTip(texts[i].toolTip);
    }
}

void frmTNC::txtMBOCall_LostFocus() {
    txtMBOCall->setText(txtMBOCall->text().toUpper());
}

void frmTNC::closeEvent(QCloseEvent* event) {
    event->accept();
    m_setup.closeSetup();
}

bool frmTNC::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtMBOCall) txtMBOCall_LostFocus();
        if (watched == txtHangUpDelay && !m_checkingDelay) {
            // The refusal's message box takes the focus from the box again.
            m_checkingDelay = true;
            txtHangUpDelay_Validate();
            m_checkingDelay = false;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace gw
