// Loading and saving the setup window's settings: every key, its encoding, its default and
// its live copy, in the order the node has always read and written them.
#include "setup/frm_tnc.h"

#include "common/paths.h"
#include "common/text.h"
#include "setup/instance_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace gw {
namespace {
void setComboText(QComboBox* combo, const std::string& text) {
    combo->setEditText(toQString(text));
}
std::string comboText(const QComboBox* combo) {
    return fromQString(combo->currentText());
}
const char* boolText(bool value) {
    return value ? "True" : "False";
}

void selectExclusive(QButtonGroup* group, QRadioButton* option) {
    // An exclusive group cannot show "none selected" by itself.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(button == option);
    group->setExclusive(true);
}
} // namespace

void frmTNC::LoadSettings() {
    const std::string s = section();
    setComboText(ComboPort, m_settings.read(s, "CommPort", kDefaultCommPort));
    setComboText(ComboSpeed, m_settings.read(s, "BaudRate", kDefaultBaudRate));
    setComboText(ComboLength, m_settings.read(s, "Length", "8"));
    setComboText(ComboParity, m_settings.read(s, "Parity", "N"));
    setComboText(ComboStop, m_settings.read(s, "Stop", "1"));
    setComboText(ComboType, m_settings.read(s, "TNCType", kDefaultTncType));
    setComboText(ComboFlow, m_settings.read(s, "Flow", "RTS/CTS"));
    txtAGWAddress->setText(toQString(m_settings.read(s, "AGWAddress", CAGW::kDefaultAddress)));
    m_bPort1 = m_settings.readBool(s, "Port1", true);
    m_bPort2 = m_settings.readBool(s, "Port2", false);
    sPassword = m_settings.read(s, "Password", "");
    txtMBOCall->setText(toQString(m_settings.read(s, "MBOCall", "")));
    txtPath->setText(toQString(m_settings.read(s, "InitFilePath", defaultFileFolder())));
    txtIPAddress->setText(toQString(trim(m_settings.read(s, "IPAddress", kDefaultServerAddress))));
    chkEnbLog->setChecked(m_settings.readInt16(s, "EnableLog", 1) != 0);
    chkRestore->setChecked(m_settings.readInt16(s, "Restore", 1) != 0);
    const bool fullTime = m_settings.readBool(s, "IPType", true);
    DUNIndex = m_settings.readInt16(s, "DUNIndex", -1);
    QRadioButton* ipOption = optFullTime;
    if (!fullTime) ipOption = m_settings.readBool(s, "DialType", true) ? optDialUp : optDialBackup;
    selectExclusive(m_ipGroup, ipOption);
    ipOption->click();
    // A stored delay outside 0 to 120 minutes (edited by hand) falls back to the default.
    const std::string delay = m_settings.read(s, "HangUpDelay", "1");
    const bool delayValid =
        isNumeric(delay) && numericValue(delay) >= 0 && numericValue(delay) <= 120;
    txtHangUpDelay->setText(toQString(delayValid ? delay : "1"));
    selectPortOption();
}

void frmTNC::selectPortOption() {
    QRadioButton* option = nullptr;
    if (m_bPort1 && !m_bPort2) option = optPort1;
    if (!m_bPort1 && m_bPort2) option = optPort2;
    if (m_bPort1 && m_bPort2) option = optBoth;
    selectExclusive(m_portGroup, option);
}

void frmTNC::SaveSettings() {
    const std::string s = section();
    m_settings.write(s, "CommPort", comboText(ComboPort));
    m_settings.write(s, "Stop", comboText(ComboStop));
    m_settings.write(s, "Parity", comboText(ComboParity));
    m_settings.write(s, "BaudRate", comboText(ComboSpeed));
    m_settings.write(s, "Length", comboText(ComboLength));
    m_settings.write(s, "TNCType", comboText(ComboType));
    m_settings.write(s, "Flow", comboText(ComboFlow));
    m_settings.write(s, "MBOCall", toUpper(fromQString(txtMBOCall->text())));
    m_settings.write(s, "InitFilePath", trim(fromQString(txtPath->text())));
    m_settings.write(s, "IPAddress", fromQString(txtIPAddress->text()));
    m_settings.write(s, "Port1", boolText(m_bPort1));
    m_settings.write(s, "Port2", boolText(m_bPort2));
    m_settings.write(s, "EnableLog", chkEnbLog->isChecked() ? "1" : "0");
    m_settings.write(s, "Restore", chkRestore->isChecked() ? "1" : "0");
    m_settings.write(s, "IPType", boolText(optFullTime->isChecked()));
    m_settings.write(s, "DialType", boolText(optDialUp->isChecked()));
    m_settings.write(s, "DUNIndex", std::to_string(DUNIndex));
    m_settings.write(s, "HangUpDelay", fromQString(txtHangUpDelay->text()));
    m_settings.write(s, "AGWAddress", trim(fromQString(txtAGWAddress->text())));
}

} // namespace gw
