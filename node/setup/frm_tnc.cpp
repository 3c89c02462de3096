// The setup window: controls, lists, option handlers and the setup menu.
#include "setup/frm_tnc.h"

#include "common/text.h"
#include "core/frm_initializing.h"
#include "core/frm_password.h"
#include "gui/frm_main.h"
#include "ip/pppd_dial_up.h"
#include "server/frm_brevane.h"
#include "setup/instance_settings.h"
#include "tnc/tnc_setup.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
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
constexpr PortTexts kAgwPorts[3] = {
    {"Port 1 (AGW 0)", "Serve the modem program's first radio channel only (its AGW port 0)"},
    {"Port 2 (AGW 1)", "Serve the modem program's second radio channel only (its AGW port 1)"},
    {"Both", "Serve both radio channels of the modem program (AGW ports 0 and 1)"}};
} // namespace

class frmTNC::DispatchView final : public TncSetup {
  public:
    explicit DispatchView(frmTNC& window) : m_window(window) {}
    std::string comboType() const override { return m_window.tncType(); }
    // The folder as the names of files in it are built: with its closing separator.
    std::string txtPath() const override {
        std::string folder = m_window.filePath();
        if (!folder.empty() && folder.back() != '/') folder += '/';
        return folder;
    }
    bool bPort1() const override { return m_window.bPort1(); }
    bool bPort2() const override { return m_window.bPort2(); }
    bool chkRestore() const override { return m_window.restoreChecked(); }
    std::string instance() const override { return m_window.m_main.core().sInstance; }
    std::string agwAddress() const override { return fromQString(m_window.txtAGWAddress->text()); }
    std::string nodeCall() const override { return m_window.nodeCall(); }
    // No box of its own: the stored value is the live one.
    std::string agwPaclen() const override {
        return m_window.m_settings.read(m_window.section(), "AGWPaclen", "");
    }
    std::string lblInitializing() const override {
        return m_window.m_progress ? m_window.m_progress->text() : std::string();
    }
    void setLblInitializing(const std::string& text) override {
        if (m_window.m_progress) m_window.m_progress->setText(text);
    }
    void showSetupWindow() override { m_window.showSetup(); }

  private:
    frmTNC& m_window;
};

frmTNC::frmTNC(frmMain& main, frmBrevane& link, Services services, QWidget* parent)
    : QMainWindow(parent), m_main(main), m_link(link), m_settings(services.settings),
      m_clock(services.clock), m_dialogs(services.dialogs), m_pump(services.pump),
      m_dispatchView(std::make_unique<DispatchView>(*this)) {
    m_dispatch = std::make_unique<TncDispatch>(
        *m_dispatchView, main.core(), Serial,
        TncDispatch::Services{services.settings, services.dialogs, services.pump, services.clock});
    buildWindow();
    tmrDialUp.setInterval(60'000);
    connect(&tmrDialUp, &QTimer::timeout, this, &frmTNC::tmrDialUp_Timer);
    startRecoveryTimers();
    setDialUp(
        std::make_unique<PppdDialUp>(m_pump, m_clock, PppdDialUp::Options::fromEnvironment()));
}

frmTNC::~frmTNC() = default;

std::string frmTNC::section() const {
    return m_main.core().settingsSection();
}

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
    btnPing = new QPushButton("Ping", server);
    btnPing->setObjectName("btnPing");
    btnPing->setToolTip("Manually ping the SMS Server");
    lblPing = new QLabel(server);
    lblPing->setObjectName("lblPing");
    serverRow->addWidget(txtIPAddress, 1);
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
    ipColumn->addStretch(1);
    columns->addWidget(ip);

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
    ComboType_Click();
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

void frmTNC::loadSetup(bool initialize) {
    setWindowTitle(toQString("Corvale Gullwick Instance " + m_main.core().sInstance));
    fillLists();
    // A child of the setup window, so that a failure text stays in front of it.
    m_progress = std::make_unique<frmInitializing>(m_main.core().sInstance, this);
    m_progress->setText("Getting settings for Brevane instance " + m_main.core().sInstance + ".");
    createPingControl();
    LoadSettings();
    if (Serial.PortOpen()) Serial.PortOpen(false);
    if (initialize || m_unattended)
        mnuTNC_Click(1);
    else
        showSetup();
}

void frmTNC::showSetup() {
    show();
    raise();
}

void frmTNC::unloadSetup() {
    m_dispatch->setPolling(false);
    tmrDialUp.stop();
    tmrSerialWatch.stop();
    tmrInitRetry.stop();
    if (Serial.PortOpen()) Serial.PortOpen(false);
    m_link.Unload();
    if (m_progress) m_progress->hide();
    hide();
}

void frmTNC::mnuTNC_Click(int index) {
    // Initialize and the check replace the driver: never while a call on it is running.
    if ((index == 1 || index == 4) && waitRunning()) {
        m_dialogs.message(DialogIcon::Exclamation, "TNC Busy",
                          "The TNC is busy...try again when the current operation ends.");
        return;
    }
    switch (index) {
    case 1:
        Initialize();
        break;
    case 2:
        Cancel();
        break;
    case 3:
        SetPassword();
        break;
    case 4:
        CheckTncComm();
        break;
    default:
        break;
    }
}

void frmTNC::SetPassword() {
    frmPassword window(
        sPassword,
        [this](const std::string& password) {
            sPassword = password;
            m_settings.write(section(), "Password", password);
        },
        m_dialogs, this);
    window.exec();
}

void frmTNC::ComboType_Click() {
    const std::string type = tncType();
    if (type == "KPC4" || type == "KPC9612" || type == "KAM") fraMultiport->setVisible(true);
    if (type == "KPC1" || type == "KPC2" || type == "KPC3") fraMultiport->setVisible(false);
    // A modem program is reached over TCP: its address stands in for the serial settings,
    // which stay stored for the other types.
    const bool agw = tncFamily(type) == TncFamily::Agw;
    if (agw) fraMultiport->setVisible(true);
    for (QWidget* serialSetting :
         {static_cast<QWidget*>(ComboPort), static_cast<QWidget*>(ComboSpeed),
          static_cast<QWidget*>(ComboLength), static_cast<QWidget*>(ComboParity),
          static_cast<QWidget*>(ComboStop), static_cast<QWidget*>(ComboFlow)})
        m_lineForm->setRowVisible(serialSetting, !agw);
    m_lineForm->setRowVisible(txtAGWAddress, agw);
    // The modem program keeps no TNC settings to restore.
    m_lineForm->setRowVisible(chkRestore, !agw);
    fraSerial->setTitle(agw ? kAgwFrame : kSerialFrame);
    const PortTexts* texts = agw ? kAgwPorts : kTncPorts;
    QRadioButton* const options[3] = {optPort1, optPort2, optBoth};
    for (std::size_t i = 0; i < 3; ++i) {
        options[i]->setText(texts[i].caption);
        options[i]->setToolTip(texts[i].toolTip);
    }
}

void frmTNC::optPort1_Click() {
    m_bPort1 = true, m_bPort2 = false;
}
void frmTNC::optPort2_Click() {
    m_bPort1 = false, m_bPort2 = true;
}
void frmTNC::optBoth_Click() {
    m_bPort1 = true, m_bPort2 = true;
}

void frmTNC::txtMBOCall_LostFocus() {
    txtMBOCall->setText(txtMBOCall->text().toUpper());
}

bool frmTNC::txtHangUpDelay_Validate() {
    const std::string text = fromQString(txtHangUpDelay->text());
    const char* title = nullptr;
    if (!isNumeric(text))
        title = "Delay not valid!";
    else if (numericValue(text) < 0 || numericValue(text) > 120)
        title = "Delay out of range!";
    if (title == nullptr) return true;
    m_checkingDelay = true;
    m_dialogs.message(DialogIcon::Exclamation, title, "Enter hang up delay 0 - 120 minutes!");
    txtHangUpDelay->setFocus();
    m_checkingDelay = false;
    return false;
}

void frmTNC::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!m_main.isVisible()) m_main.close();
}

bool frmTNC::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtMBOCall) txtMBOCall_LostFocus();
        if (watched == txtHangUpDelay && !m_checkingDelay) txtHangUpDelay_Validate();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmTNC::logEnabled() const {
    return chkEnbLog->isChecked();
}
std::string frmTNC::filePath() const {
    return fromQString(txtPath->text());
}
std::string frmTNC::nodeCall() const {
    return fromQString(txtMBOCall->text());
}
std::string frmTNC::serverAddress() const {
    return fromQString(txtIPAddress->text());
}
std::string frmTNC::tncType() const {
    return fromQString(ComboType->currentText());
}
bool frmTNC::restoreChecked() const {
    return chkRestore->isChecked();
}
std::string frmTNC::hangUpDelayText() const {
    return fromQString(txtHangUpDelay->text());
}

IpConnectionType frmTNC::ipConnectionType() const {
    if (optDialUp->isChecked()) return IpConnectionType::DialUp;
    if (optDialBackup->isChecked()) return IpConnectionType::DialBackup;
    return IpConnectionType::FullTime;
}

void frmTNC::SendData(int nPort, const std::string& sStreamID, const std::string& sData) {
    m_dispatch->SendData(nPort, sStreamID, sData);
}

void frmTNC::SendFile(int nPort, const std::string& sStreamID, const std::string& sFile) {
    m_dispatch->SendFile(nPort, sStreamID, sFile);
}

void frmTNC::SendDisconnect(int nPort, const std::string& sStreamID) {
    m_dispatch->SendDisconnect(nPort, sStreamID);
}

std::string frmTNC::GetLabel(int nStream) {
    return m_dispatch->GetLabel(nStream);
}

bool frmTNC::waitRunning() const {
    return m_commandDepth > 0 || m_dispatch->busy();
}

void frmTNC::endWaits(bool end) {
    m_pump.requestStop(end);
}

void frmTNC::Restore() {
    m_dispatch->Restore();
}

void frmTNC::ClearHostMode() {
    m_dispatch->ClearHostMode();
}

} // namespace gw
