// The setup window's commands that reach the hardware: Initialize (save, open the serial
// port, create the driver for the TNC type and run its Init), Cancel and Check TNC Comm.
#include "setup/frm_tnc.h"

#include "common/datetime.h"
#include "common/text.h"
#include "core/frm_initializing.h"
#include "core/version_text.h"
#include "gui/colours.h"
#include "gui/frm_main.h"
#include "server/frm_brevane.h"
#include "tnc/device_map.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace gw {
namespace {
constexpr const char* kUnsupported = "Unsupported TNC! Make selection from List.";
} // namespace

void frmTNC::loadServerLink() {
    m_link.Load();
    m_main.lblCMBO->setText(txtIPAddress->text());
    m_main.lblLocalIP->setText(toQString(m_link.tcp().localAddress()));
}

void frmTNC::configureSerial() {
    if (Serial.PortOpen()) Serial.PortOpen(false);
    Serial.CommPort(static_cast<long>(
        clampedWhole(numericValue(fromQString(ComboPort->currentText())), INT32_MIN, INT32_MAX)));
    Serial.Settings(fromQString(ComboSpeed->currentText()) + "," +
                    fromQString(ComboParity->currentText()) + "," +
                    fromQString(ComboLength->currentText()) + "," +
                    fromQString(ComboStop->currentText()));
    const std::string flow = fromQString(ComboFlow->currentText());
    if (flow == "RTS/CTS") Serial.FlowControl(true);
    if (flow == "NONE") Serial.FlowControl(false);
}

void frmTNC::portError(const NodeError& error) {
    m_dialogs.message(DialogIcon::Exclamation, "Port Error!",
                      "Error: " + std::to_string(error.number()) + "/" + error.description());
}

void frmTNC::Initialize() {
    if (optDialUp->isChecked() && (lstDUN->currentItem() == nullptr ||
                                   lstDUN->currentItem()->text().isEmpty() || DUNIndex == -1)) {
        m_dialogs.message(DialogIcon::Exclamation, "Select Phone Book Entry",
                          "You must select a valid phone book entry for the Dial Up Network "
                          "Connection");
        showSetup();
        return;
    }
    // The log file and the TNC's start-up name need the call sign; a delay out of range must
    // never be saved.
    if (trim(nodeCall()).empty()) {
        m_dialogs.message(DialogIcon::Exclamation, "Node Call Sign", "Node Call Sign required");
        showSetup();
        return;
    }
    if (!txtHangUpDelay_Validate()) {
        showSetup();
        return;
    }
    ++m_commandDepth;
    // This initialization takes over from a watch for a returning serial device.
    tmrSerialWatch.stop();
    SaveSettings();
    m_progress->btnClose->setVisible(false);
    m_progress->show();
    loadServerLink();
    const bool lastInitOK = m_main.core().bLastInitOK;
    m_main.core().bLastInitOK = false;

    const std::string type = tncType();
    const bool agw = tncFamily(type) == TncFamily::Agw;
    const std::string where = agw ? trim(fromQString(txtAGWAddress->text()))
                                  : "Comm " + fromQString(ComboPort->currentText());
    bool reachedDriver = false;
    bool ok = false;
    try {
        if (agw) {
            m_devicePath.clear();
            // The modem program is reached over TCP; the serial port is not the TNC's line.
            if (Serial.PortOpen()) Serial.PortOpen(false);
            m_progress->setText("Initializing AGW connection to " + where + ".");
            m_dispatch->setPolling(true);
        } else {
            configureSerial();
            m_devicePath = commDevicePath(Serial.CommPort());
            m_progress->setText("Initializing comm port " + fromQString(ComboPort->currentText()) +
                                ".");
            m_dispatch->setPolling(true);
            Serial.PortOpen(true);
        }
        m_progress->appendLine("Initializing TNC type " + type + ".");
        if (tncFamily(type) == TncFamily::KanSingle) {
            m_bPort1 = true;
            m_bPort2 = false;
        }
        TncDriver* driver = m_dispatch->CreateDriver(type);
        if (driver == nullptr) {
            --m_commandDepth;
            m_dialogs.message(DialogIcon::None, kProgramTitle, kUnsupported);
            m_progress->hide();
            showSetup();
            return;
        }
        reachedDriver = true;
        TncDispatch::DriverCall call(*m_dispatch);
        ok = driver->Init();
    } catch (const NodeError& error) {
        // A port that cannot be opened, a line setting it refuses, a failure inside the
        // driver: the operator is told and the initialization has failed.
        portError(error);
        m_main.core().Log("Initialization failed: Error " + std::to_string(error.number()) + "/" +
                          error.description() + " @ " + generalDateTime(m_clock.now()));
        ok = false;
    }
    --m_commandDepth;
    if (m_pump.stopRequested()) {
        // Cut short by a stop: not a failure. The stored result stands and the stop runs next.
        m_main.core().bLastInitOK = lastInitOK;
        m_progress->hide();
        m_main.core().Log("Initialization of " + type + " interrupted by a stop @ " +
                          generalDateTime(m_clock.now()));
        return;
    }
    m_main.core().bLastInitOK = ok;
    // A node that retries by itself keeps "Initialized" through a TNC that is off, so that a
    // restart before the TNC answers still initializes by itself.
    if (reachedDriver && (ok || !m_unattended)) m_settings.writeBool(section(), "Initialized", ok);
    if (ok) {
        tmrInitRetry.stop();
        m_progress->hide();
    } else {
        if (m_unattended && !tmrInitRetry.isActive()) tmrInitRetry.start();
        m_progress->appendLine("INITIALIZATION FAILURE!");
        m_progress->btnClose->setVisible(true);
    }
    m_main.btnSavetoLog->setEnabled(chkEnbLog->isChecked());
    if (ok) {
        m_main.core().Log("...Brevane Version " + versionText() + "  " + type + " on " + where +
                          " initialized @ " + generalDateTime(m_clock.now()));
        m_main.core().setTncStatus(
            type + " OK on " + (agw ? where : "Comm" + std::to_string(Serial.CommPort())), true);
        for (int n = 1; n <= 10; ++n)
            m_main.lblCall[static_cast<std::size_t>(n - 1)]->setText(toQString(GetLabel(n)));
        m_main.show();
        hide();
    } else {
        m_main.core().setTncStatus(type + " not Initialized", false);
        showSetup();
    }
}

void frmTNC::Cancel() {
    loadServerLink();
    hide();
    m_main.show();
}

void frmTNC::CheckTncComm() {
    bool driverMade = false;
    // The operator's check leaves the node to be initialized by the operator.
    tmrSerialWatch.stop();
    ++m_commandDepth;
    struct Done {
        int& depth;
        ~Done() { --depth; }
    } done{m_commandDepth};
    try {
        if (Serial.PortOpen()) Serial.PortOpen(false);
        lblCommStatus->setVisible(true);
        lblCommStatus->setText("Checking...");
        setBackground(lblCommStatus, kLightYellow);
        const std::string type = tncType();
        if (tncFamily(type) != TncFamily::Agw) {
            configureSerial();
            m_dispatch->setPolling(true);
            Serial.PortOpen(true);
        }
        TncDriver* driver = m_dispatch->CreateDriver(type);
        if (driver == nullptr) {
            m_dialogs.message(DialogIcon::None, kProgramTitle, kUnsupported);
            showSetup();
            lblCommStatus->setVisible(false);
            return;
        }
        driverMade = true;
        bool ok = false;
        {
            TncDispatch::DriverCall call(*m_dispatch);
            ok = driver->CheckComm();
        }
        m_dispatch->ReleaseDriver(type);
        lblCommStatus->setText(ok ? "TNC Comm OK!" : "TNC Comm Fail!");
        setBackground(lblCommStatus, ok ? kLightGreen : kLightRed);
        if (Serial.PortOpen()) Serial.PortOpen(false);
        m_dispatch->setPolling(false);
    } catch (const NodeError& error) {
        // The check never leaves a driver behind, whatever failed.
        if (driverMade) m_dispatch->ReleaseDriver(tncType());
        portError(error);
        lblCommStatus->setVisible(false);
    }
}

} // namespace gw
