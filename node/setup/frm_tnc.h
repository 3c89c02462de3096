// The setup window: the live copy of every setting in its controls, their loading and
// saving, the operator's choices of port, line, TNC type, paths, IP link and logging, and
// the setup menu. It is the radio side the node core talks to.
#pragma once

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/node_error.h"
#include "common/settings_store.h"
#include "core/radio_side.h"
#include "core/setup_side.h"
#include "ip/dial_up.h"
#include "ip/ping_control.h"
#include "tnc/cserial_port.h"
#include "tnc/tnc_dispatch.h"

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QButtonGroup;
class QCheckBox;
class QColor;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace gw {

class frmMain;
class frmBrevane;
class frmInitializing;

class frmTNC : public QMainWindow, public RadioSide, public SetupSide {
    Q_OBJECT
  public:
    struct Services {
        SettingsStore& settings;
        const Clock& clock;
        Dialogs& dialogs;
        EventPump& pump;
    };
    frmTNC(frmMain& main, frmBrevane& link, Services services, QWidget* parent = nullptr);
    ~frmTNC() override;

    // Load and save of the settings (the live copy is the controls and members).
    void LoadSettings();
    void SaveSettings();

    // Setup menu: 1 Initialize, 2 Cancel, 3 Set Password, 4 Check TNC Comm.
    void mnuTNC_Click(int index);

    // Option and control handlers.
    void ComboType_Click();
    void optPort1_Click();
    void optPort2_Click();
    void optBoth_Click();
    void optFullTime_Click();
    void optDialUp_Click();
    void optDialBackup_Click();
    void txtMBOCall_LostFocus();
    // Checks the hang-up delay as the operator leaves the box; false when refused.
    bool txtHangUpDelay_Validate();

    // IP link: the operator's Ping and Disconnect, the phone-book list, the dial timeout and
    // the events of the dial-up layer and of the ping control.
    void btnPing_Click();
    void btnDisconnect_Click();
    void lstDUN_Click();
    void tmrDialUp_Timer();
    void Callmoor1_Entry(const std::string& sName);
    void Callmoor1_Status(long lState, long lError);
    void Ping1_Error(std::int16_t nErrorCode, const std::string& sDescription);
    // Replace the dial-up layer or the ping control (tests, other backends); before loading.
    void setDialUp(std::unique_ptr<DialUp> dialUp);
    void setPingControl(std::unique_ptr<PingControl> control);
    DialUp& dialUp() { return *Callmoor1; }
    // Why the ping control could not be created, or "" when it was.
    const std::string& pingProblem() const { return m_pingProblem; }

    // SetupSide
    bool logEnabled() const override;
    std::string filePath() const override;
    std::string nodeCall() const override;
    std::string password() const override { return sPassword; }
    std::string serverAddress() const override;
    std::string tncType() const override;
    bool restoreChecked() const override;
    bool portOpen() const override { return m_dispatch->line().PortOpen(); }
    void loadSetup(bool initialize) override;
    void showSetup() override;
    void Restore() override;
    void ClearHostMode() override;
    void unloadSetup() override;
    bool waitRunning() const override;
    void endWaits(bool end) override;

    // RadioSide
    void SendData(int nPort, const std::string& sStreamID, const std::string& sData) override;
    void SendFile(int nPort, const std::string& sStreamID, const std::string& sFile) override;
    void SendDisconnect(int nPort, const std::string& sStreamID) override;
    std::string GetLabel(int nStream) override;
    bool bPort1() const override { return m_bPort1; }
    bool bPort2() const override { return m_bPort2; }
    long lMaxusers1() const override { return m_dispatch->lMaxusers1(); }
    IpConnectionType ipConnectionType() const override;
    std::string hangUpDelayText() const override;
    bool bConnectedByDialup() const override { return m_bConnectedByDialup.value_or(false); }
    bool VerifyFullTime() override;
    bool VerifyConnection() override;
    void DisconnectDialup() override;

    std::string sPassword;
    std::int16_t DUNIndex = -1;
    CSerialPort Serial;
    TncDispatch& dispatch() { return *m_dispatch; }
    frmInitializing* progressWindow() const { return m_progress.get(); }

    QComboBox* ComboPort;
    QComboBox* ComboSpeed;
    QComboBox* ComboLength;
    QComboBox* ComboParity;
    QComboBox* ComboStop;
    QComboBox* ComboType;
    QComboBox* ComboFlow;
    QLineEdit* txtAGWAddress; // type AGW: the modem program's AGW port, host:port
    QLineEdit* txtMBOCall;
    QLineEdit* txtPath;
    QLineEdit* txtIPAddress;
    QPushButton* btnPing;
    QLabel* lblPing;
    QRadioButton* optFullTime;
    QRadioButton* optDialUp;
    QRadioButton* optDialBackup;
    QListWidget* lstDUN;
    QLabel* lblHangUpDelay;
    QLineEdit* txtHangUpDelay;
    QPushButton* btnDisconnect;
    QGroupBox* fraSerial; // the TNC's frame: its line settings, or the modem program's address
    QCheckBox* chkEnbLog;
    QCheckBox* chkRestore;
    QGroupBox* fraMultiport;
    QRadioButton* optPort1;
    QRadioButton* optPort2;
    QRadioButton* optBoth;
    QLabel* lblCommStatus;
    QTimer tmrDialUp;
    // After the TNC's serial device failed: looks every 3 s for the same device to come
    // back, then initializes again by itself.
    QTimer tmrSerialWatch;
    void tmrSerialWatch_Timer();
    // A node without an operator (headless) initializes by itself when it loads, whatever the
    // last result, and retries a failed initialization every 60 s; a node with a window leaves
    // both to the operator.
    QTimer tmrInitRetry;
    void tmrInitRetry_Timer();
    void setUnattended(bool unattended) { m_unattended = unattended; }
    std::array<QAction*, 4> mnuTNC{};

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the setup window while the main window is hidden ends the program through the
    // main window's shutdown; otherwise it only hides the setup window.
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void fillLists();
    void selectPortOption();
    void setDialUpControlsVisible(bool visible);
    std::string section() const;
    void Initialize();
    bool initializeTnc();
    void configureSerial();
    void loadServerLink();
    void Cancel();
    void SetPassword();
    void CheckTncComm();
    void portError(const NodeError& error);
    void createPingControl();
    long pingStep();
    void dialIgnoringErrors();
    void showPing(const std::string& caption, const QColor& colour);
    void fillPhoneBook();
    void serialFailed();
    void startRecoveryTimers();

    frmMain& m_main;
    frmBrevane& m_link;
    SettingsStore& m_settings;
    const Clock& m_clock;
    Dialogs& m_dialogs;
    EventPump& m_pump;
    std::unique_ptr<DialUp> Callmoor1;
    std::unique_ptr<PingControl> Ping1;
    std::string m_pingProblem;
    // Unset until the dial-up layer first reports; unset reads as false.
    std::optional<bool> m_bConnectedByDialup;
    bool m_fillingPhoneBook = false;
    // What the TNC dispatch reads of this window.
    class DispatchView;
    std::unique_ptr<DispatchView> m_dispatchView;
    std::unique_ptr<TncDispatch> m_dispatch;
    std::unique_ptr<frmInitializing> m_progress;
    QButtonGroup* m_ipGroup;
    QButtonGroup* m_portGroup;
    QFormLayout* m_lineForm = nullptr;
    bool m_bPort1 = true;
    bool m_bPort2 = false;
    bool m_checkingDelay = false;
    // Initialize, Check TNC Comm or a manual ping is running (its waits let events through).
    int m_commandDepth = 0;
    // The device the last Initialize opened ("" for a TNC not on the serial port).
    std::string m_devicePath;
    bool m_unattended = false;
};

} // namespace gw
