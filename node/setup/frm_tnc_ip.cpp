// The setup window's IP link: verifying the server by ping, dialing on demand through the
// dial-up layer, the operator's Ping and Disconnect, the phone-book list and the dial timeout.
#include "setup/frm_tnc.h"

#include "common/text.h"
#include "gui/colours.h"
#include "gui/frm_main.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

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

void frmTNC::setDialUp(std::unique_ptr<DialUp> dialUp) {
    Callmoor1 = std::move(dialUp);
    Callmoor1->setEvents({[this](const std::string& name) { Callmoor1_Entry(name); },
                          [this](long state, long error) { Callmoor1_Status(state, error); }});
}

void frmTNC::setPingControl(std::unique_ptr<PingControl> control) {
    Ping1 = std::move(control);
    m_pingProblem.clear();
    if (Ping1)
        Ping1->onError([this](std::int16_t code, const std::string& description) {
            Ping1_Error(code, description);
        });
}

void frmTNC::createPingControl() {
    if (Ping1) return;
    std::string problem;
    setPingControl(PingControl::create(PingControl::libraryCandidates(), &problem));
    if (Ping1) return;
    m_pingProblem = "Ping control not available: " + problem;
    showPing("No ping control", kLightRed);
    lblPing->setToolTip(toQString(m_pingProblem));
    qWarning("%s", m_pingProblem.c_str());
    m_main.core().Log(m_pingProblem);
}

long frmTNC::pingStep() {
    if (!Ping1) throw NodeError(kCannotCreateObject, "frmTNC", m_pingProblem);
    const std::string host = trim(serverAddress());
    // The control takes an empty host as done at once; that must not read as an answer.
    if (host.empty()) throw NodeError(26002, "frmTNC", "[11001] Host not found");
    return Ping1->pingStep(host);
}

void frmTNC::showPing(const std::string& caption, const QColor& colour) {
    lblPing->setText(toQString(caption));
    setBackground(lblPing, colour);
}

void frmTNC::dialIgnoringErrors() {
    try {
        tmrDialUp.start();
        Callmoor1->dial();
    } catch (const NodeError& error) {
        m_main.core().Log("Dial up: " + error.description());
    }
}

bool frmTNC::VerifyFullTime() {
    try {
        pingStep();
        return true;
    } catch (const NodeError&) {
        return false;
    }
}

bool frmTNC::VerifyConnection() {
    try {
        pingStep();
        return true;
    } catch (const NodeError& error) {
        if (!dialWorthy(error) || optFullTime->isChecked()) return false;
    }
    m_bConnectedByDialup = false;
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

void frmTNC::DisconnectDialup() {
    try {
        Callmoor1->hangUp();
    } catch (const NodeError& error) {
        m_main.core().Log("Hang up: " + error.description());
    }
}

void frmTNC::btnDisconnect_Click() {
    DisconnectDialup();
}

void frmTNC::btnPing_Click() {
    showPing("Pinging", kLightYellow);
    long number = 0;
    std::string description;
    try {
        showPing("OK! (" + std::to_string(pingStep()) + " ms)", kLightGreen);
        return;
    } catch (const NodeError& error) {
        if (dialWorthy(error) && (optDialUp->isChecked() || optDialBackup->isChecked()) &&
            !bConnectedByDialup()) {
            showPing("Dialing", kLightYellow);
            m_bConnectedByDialup = false;
            dialIgnoringErrors();
            if (!bConnectedByDialup()) {
                showPing("Fail!", kLightRed);
                m_dialogs.message(DialogIcon::Exclamation, "Dial Up Failure",
                                  "Dial up failure...could not connect.");
                return;
            }
            showPing("Pinging", kLightYellow);
            try {
                showPing("OK! (" + std::to_string(pingStep()) + " ms)", kLightGreen);
            } catch (const NodeError& again) {
                // The ping has ended: never leave "Pinging" standing.
                showPing(again.number() == PingControl::kTimeout ? "Timeout!" : "Fail!", kLightRed);
            }
            return;
        }
        number = error.number();
        description = error.description();
    }
    if (number == PingControl::kTimeout) {
        showPing("Timeout!", kLightRed);
        return;
    }
    m_dialogs.message(DialogIcon::Exclamation, "Ping Error!",
                      "Ping Error: " + std::to_string(number) + "/" + description + "\r" +
                          "Your system may not have the correct Winsock configuration.");
    showPing("Fail!", kLightRed);
}

void frmTNC::Ping1_Error(std::int16_t, const std::string&) {
    showPing("Fail!", kLightRed);
}

void frmTNC::setDialUpControlsVisible(bool visible) {
    lstDUN->setVisible(visible);
    lblHangUpDelay->setVisible(visible);
    txtHangUpDelay->setVisible(visible);
}

void frmTNC::fillPhoneBook() {
    setDialUpControlsVisible(true);
    m_fillingPhoneBook = true;
    lstDUN->clear();
    try {
        Callmoor1->setAction(DialUp::kEnumerate);
    } catch (const NodeError& error) {
        m_main.core().Log("Dial up: " + error.description());
    }
    // A stored position beyond the rebuilt list (the phone book changed) chooses nothing.
    const bool known = DUNIndex >= 0 && DUNIndex < lstDUN->count();
    lstDUN->setCurrentRow(known ? DUNIndex : -1);
    m_fillingPhoneBook = false;
    if (DUNIndex != -1)
        Callmoor1->setEntry(known ? fromQString(lstDUN->item(DUNIndex)->text()) : "");
}

void frmTNC::optFullTime_Click() {
    if (optFullTime->isChecked()) setDialUpControlsVisible(false);
}

void frmTNC::optDialUp_Click() {
    if (optDialUp->isChecked()) fillPhoneBook();
}

void frmTNC::optDialBackup_Click() {
    if (optDialBackup->isChecked()) fillPhoneBook();
}

void frmTNC::lstDUN_Click() {
    if (m_fillingPhoneBook || lstDUN->currentItem() == nullptr) return;
    Callmoor1->setEntry(fromQString(lstDUN->currentItem()->text()));
    DUNIndex = static_cast<std::int16_t>(lstDUN->currentRow());
}

void frmTNC::Callmoor1_Entry(const std::string& sName) {
    if (!sName.empty()) lstDUN->addItem(toQString(sName));
}

void frmTNC::Callmoor1_Status(long lState, long lError) {
    if (lState == DialUp::kAuthenticated && lError == 0) {
        m_bConnectedByDialup = true;
        tmrDialUp.stop();
        btnDisconnect->setVisible(true);
    } else if (lState == DialUp::kDisconnected) {
        m_bConnectedByDialup = false;
        tmrDialUp.stop();
        btnDisconnect->setVisible(false);
    }
}

void frmTNC::tmrDialUp_Timer() {
    if (bConnectedByDialup()) return;
    tmrDialUp.stop();
    try {
        Callmoor1->setAction(DialUp::kAbandon);
    } catch (const NodeError& error) {
        m_main.core().Log("Dial up: " + error.description());
    }
}

} // namespace gw
