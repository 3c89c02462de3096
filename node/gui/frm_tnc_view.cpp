// The setup window following the setup core: the live settings shown when they are loaded,
// the check and ping labels, the phone book, the dial-up controls and the window's own
// visibility.
#include "gui/frm_tnc.h"

#include "common/text.h"
#include "gui/colours.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <optional>

namespace gw {
namespace {

void selectExclusive(QButtonGroup* group, QAbstractButton* option) {
    // An exclusive group cannot show "none selected" by itself.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(button == option);
    group->setExclusive(true);
}

} // namespace

void frmTNC::followSetup() {
    connect(&m_setup, &NodeSetup::settingsLoaded, this, &frmTNC::showSettings);
    connect(&m_setup, &NodeSetup::commCheckChanged, this, &frmTNC::showCommStatus);
    connect(&m_setup, &NodeSetup::linkCheckChanged, this, &frmTNC::showPing);
    connect(&m_setup, &NodeSetup::phoneBookChanged, this, &frmTNC::showPhoneBook);
    connect(&m_setup, &NodeSetup::dialUpChanged, this, &frmTNC::showDialUpControls);
    connect(&m_setup, &NodeSetup::setupOpened, this, [this] {
        show();
        raise();
    });
    connect(&m_setup, &NodeSetup::setupDone, this, &QWidget::hide);
    connect(&m_setup, &NodeSetup::hangUpDelayRefused, this, [this] { txtHangUpDelay->setFocus(); });
}

void frmTNC::showSettings() {
    setWindowTitle(toQString("Corvale Gullwick Instance " + m_setup.instance()));
    const LiveSettings& live = m_setup.live();
    const std::pair<QComboBox*, std::string> combos[] = {
        {ComboPort, live.commPort}, {ComboSpeed, live.baudRate}, {ComboLength, live.length},
        {ComboParity, live.parity}, {ComboStop, live.stop},      {ComboType, live.tncType},
        {ComboFlow, live.flow}};
    for (const auto& [combo, value] : combos)
        combo->setEditText(toQString(value));
    const std::pair<QLineEdit*, std::string> boxes[] = {
        {txtAGWAddress, live.agwAddress}, {txtMBOCall, live.mboCall},
        {txtPath, live.initFilePath},     {txtIPAddress, live.ipAddress},
        {txtIPPort, live.ipPort},         {txtHangUpDelay, live.hangUpDelay}};
    for (const auto& [box, value] : boxes)
        box->setText(toQString(value));
    chkEnbLog->setChecked(live.enableLog);
    chkRestore->setChecked(live.restore);
    showKissSettings();
    QRadioButton* ipOption = optFullTime;
    if (live.ipLink == IpLinkType::DialUp) ipOption = optDialUp;
    if (live.ipLink == IpLinkType::DialBackup) ipOption = optDialBackup;
    selectExclusive(m_ipGroup, ipOption);
    showPortOption();
    showPhoneBook();
    showDialUpControls();
}

void frmTNC::showPortOption() {
    const LiveSettings& live = m_setup.live();
    QRadioButton* option = nullptr;
    if (live.port1 && !live.port2) option = optPort1;
    if (!live.port1 && live.port2) option = optPort2;
    if (live.port1 && live.port2) option = optBoth;
    selectExclusive(m_portGroup, option);
}

// A check's label stays as it was when the check has nothing to report.
void frmTNC::showCommStatus() {
    using Check = NodeSetup::CommCheck;
    const Check check = m_setup.commCheck();
    lblCommStatus->setVisible(check != Check::None);
    if (check == Check::Checking) {
        lblCommStatus->setText("Checking...");
        setBackground(lblCommStatus, kLightYellow);
    } else if (check != Check::None) {
        lblCommStatus->setText(check == Check::Ok ? "TNC Comm OK!" : "TNC Comm Fail!");
        setBackground(lblCommStatus, check == Check::Ok ? kLightGreen : kLightRed);
    }
}

void frmTNC::showPing() {
    using State = NodeSetup::LinkCheckState;
    const NodeSetup::LinkCheck& check = m_setup.linkCheck();
    QString caption;
    std::optional<QColor> colour = kLightRed;
    switch (check.state) {
    case State::None:
        colour = std::nullopt;
        break;
    case State::Pinging:
        caption = "Pinging";
        colour = kLightYellow;
        break;
    case State::Dialing:
        caption = "Dialing";
        colour = kLightYellow;
        break;
    case State::Ok:
        caption = QString("OK! (%1 ms)").arg(check.milliseconds);
        colour = kLightGreen;
        break;
    case State::Failed:
        caption = "Fail!";
        break;
    case State::TimedOut:
        caption = "Timeout!";
        break;
    case State::Unavailable:
        caption = "No ping control";
        break;
    }
    lblPing->setText(caption);
    setBackground(lblPing, colour);
    lblPing->setToolTip(toQString(m_setup.pingProblem()));
}

void frmTNC::showPhoneBook() {
    // Rebuilding the list is no choice of the operator's.
    const QSignalBlocker quiet(lstDUN);
    lstDUN->clear();
    for (const std::string& entry : m_setup.phoneBook())
        lstDUN->addItem(toQString(entry));
    lstDUN->setCurrentRow(m_setup.phoneBookRow());
}

void frmTNC::showDialUpControls() {
    const bool dialUp = m_setup.live().ipLink != IpLinkType::FullTime;
    lstDUN->setVisible(dialUp);
    lblHangUpDelay->setVisible(dialUp);
    txtHangUpDelay->setVisible(dialUp);
    btnDisconnect->setVisible(m_setup.bConnectedByDialup());
}

} // namespace gw
