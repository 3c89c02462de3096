// The node's setup without a window: the live settings, the serial port and the TNC dispatch,
// Initialize, Cancel, Check TNC Comm, Restore and the recovery after a lost TNC, the IP link
// (ping, dial-up, hang-up) and the unattended mode. It is the radio side the main core talks
// to; a view shows its state through the signals below and forwards the operator's actions.
#pragma once

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/node_error.h"
#include "common/settings_store.h"
#include "core/main_core.h"
#include "core/radio_side.h"
#include "core/setup_side.h"
#include "ip/dial_up.h"
#include "ip/ping_control.h"
#include "setup/live_settings.h"
#include "tnc/cserial_port.h"
#include "tnc/tnc_dispatch.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

class frmBrevane;

class NodeSetup : public QObject, public RadioSide, public SetupSide {
    Q_OBJECT
  public:
    struct Services {
        SettingsStore& settings;
        const Clock& clock;
        Dialogs& dialogs;
        EventPump& pump;
    };
    // An initialization: none to report, running, or failed (until the operator dismisses it).
    enum class InitProgress { None, Running, Failed };
    // The operator's Check TNC Comm: none to report, running, or its result.
    enum class CommCheck { None, Checking, Ok, Failed };
    // The operator's check of the IP link: none yet, pinging or dialing, answered (in
    // `milliseconds`), failed, no answer in time, or no ping control to ask.
    enum class LinkCheckState { None, Pinging, Dialing, Ok, Failed, TimedOut, Unavailable };
    struct LinkCheck {
        LinkCheckState state = LinkCheckState::None;
        long milliseconds = 0;
    };

    NodeSetup(MainCore& main, frmBrevane& link, Services services, QObject* parent = nullptr);
    ~NodeSetup() override;

    // The live settings: a view writes each typed value here at once, so that a command run
    // right after typing uses it.
    LiveSettings& live() { return m_live; }
    const LiveSettings& live() const { return m_live; }
    std::string instance() const { return m_main.instance(); }
    void LoadSettings();
    void SaveSettings();

    // The operator's commands. Initialize and Check TNC Comm replace the driver, so they are
    // refused ("TNC Busy") while a TNC operation is on the stack.
    void Initialize();
    void Cancel();
    void CheckTncComm();
    // Stores the server password as the rule makes it (trimmed, upper case): "" when stored,
    // else why it was refused.
    std::string setPassword(const std::string& typed);
    // Stores the web console's password (as its hash) in the instance's section: "" when
    // stored, else why not (the password's problem, or a settings file that cannot be written).
    std::string setWebPassword(const std::string& password);
    // The TNC ports the node serves: the first, the second or both.
    enum class RadioPorts { First, Second, Both };
    void choosePorts(RadioPorts ports);
    // Full time, dial-up or dial backup: the dial-up choices load the phone book.
    void chooseConnection(IpLinkType type);
    // Stores the hang-up delay (minutes) and checks it; false (and the operator told) when
    // refused.
    bool setHangUpDelay(const std::string& minutes);
    // The operator is done with the setup: a node that has not left its setup ends.
    void closeSetup();

    // IP link: the operator's check of the server (a ping, dialing first where the connection
    // type allows), the phone-book choice (a row of phoneBook()), and the events of the
    // dial-up layer and of the ping control.
    void verifyIpLink();
    void chooseDialEntry(int row);
    void onPhoneBookEntry(const std::string& name);
    void onDialUpStatus(long state, long error);
    void onPingError(std::int16_t code, const std::string& description);
    // Replace the dial-up layer or the ping control (tests, other backends); before loading.
    void setDialUp(std::unique_ptr<DialUp> dialUp);
    void setPingControl(std::unique_ptr<PingControl> control);
    DialUp& dialUp() { return *m_dialUp; }
    // Why the ping control could not be created, or "" when it was.
    const std::string& pingProblem() const { return m_pingProblem; }

    // The state of the setup's work, as the views follow it.
    const std::string& progressText() const { return m_progressText; } // CR between lines
    InitProgress progress() const { return m_progress; }
    // The operator has read the progress: nothing to report until the next initialization.
    void dismissProgress() { setProgressState(InitProgress::None); }
    CommCheck commCheck() const { return m_commCheck; }
    const LinkCheck& linkCheck() const { return m_linkCheck; }
    // The last ping of the server, whoever asked for it (a user's link, the operator): when,
    // and its time or why it failed. `at` is invalid before the first.
    struct PingRecord {
        QDateTime at;
        bool ok = false;
        long milliseconds = 0;
        std::string failure;
    };
    const PingRecord& lastPing() const { return m_lastPing; }
    const std::vector<std::string>& phoneBook() const { return m_phoneBook; }
    // The entry chosen in the phone book, -1 for none.
    int phoneBookRow() const;

    // SetupSide
    bool logEnabled() const override { return m_live.enableLog; }
    std::string filePath() const override { return m_live.initFilePath; }
    std::string nodeCall() const override { return m_live.mboCall; }
    std::string password() const override { return m_live.password; }
    std::string serverAddress() const override { return m_live.ipAddress; }
    std::string tncType() const override { return m_live.tncType; }
    bool restoreChecked() const override { return m_live.restore; }
    bool portOpen() const override { return m_dispatch->line().PortOpen(); }
    void loadSetup(bool initialize) override;
    void openSetup() override { emit setupOpened(); }
    void Restore() override;
    void ClearHostMode() override;
    void unloadSetup() override;
    bool waitRunning() const override;
    void endWaits(bool end) override;

    // RadioSide
    void SendData(int nPort, const std::string& sStreamID, const std::string& sData) override;
    std::size_t SendFile(int nPort, const std::string& sStreamID,
                         const std::string& sFile) override;
    void SendDisconnect(int nPort, const std::string& sStreamID) override;
    std::string GetLabel(int nStream) override;
    bool bPort1() const override { return m_live.port1; }
    bool bPort2() const override { return m_live.port2; }
    long lMaxusers1() const override { return m_dispatch->lMaxusers1(); }
    IpConnectionType ipConnectionType() const override;
    std::string hangUpDelayText() const override { return m_live.hangUpDelay; }
    bool bConnectedByDialup() const override { return m_bConnectedByDialup.value_or(false); }
    bool VerifyFullTime() override;
    bool VerifyConnection() override;
    void hangUp() override;

    const CSerialPort& serial() const { return m_serial; }
    TncDispatch& dispatch() { return *m_dispatch; }
    const TncDispatch& dispatch() const { return *m_dispatch; }
    // Runs while a dial waits for its link; when it fires the dial is abandoned.
    const QTimer& dialTimer() const { return m_dialTimer; }
    void dialTimedOut();
    // After the TNC's serial device failed: looks every 3 s for the same device to come
    // back, then initializes again by itself.
    const QTimer& serialWatchTimer() const { return m_serialWatch; }
    void watchSerial();
    // A node without an operator (headless) initializes by itself when it loads, whatever the
    // last result, and retries a failed initialization every 60 s; a node with a window leaves
    // both to the operator.
    const QTimer& initRetryTimer() const { return m_initRetry; }
    void retryInitialize();
    void setUnattended(bool unattended) { m_unattended = unattended; }

  signals:
    // The live settings were read again: a view fills its controls from them.
    void settingsLoaded();
    void progressChanged();
    void commCheckChanged();
    void linkCheckChanged();
    void phoneBookChanged();
    // The connection type was chosen, or the dial-up link came up or went down.
    void dialUpChanged();
    // The setup is opened for the operator (its view comes forward), or is done with him.
    void setupOpened();
    void setupDone();
    // The hang-up delay was refused: the view puts the operator back in its box.
    void hangUpDelayRefused();

  private:
    class DispatchView;
    bool refusedWhileBusy();
    bool hangUpDelayAccepted();
    void runInitialize();
    void configureSerial();
    void loadServerLink();
    void portError(const NodeError& error);
    void setProgress(const std::string& text);
    void appendProgress(const std::string& line);
    void setProgressState(InitProgress progress);
    void setCommCheck(CommCheck check);
    void createPingControl();
    long pingStep();
    void dialIgnoringErrors();
    void setLinkCheck(LinkCheckState state, long milliseconds = 0);
    void setDialUpConnected(bool connected);
    void fillPhoneBook();
    void serialFailed();
    void startRecoveryTimers();

    MainCore& m_main;
    frmBrevane& m_link;
    SettingsStore& m_settings;
    const Clock& m_clock;
    Dialogs& m_dialogs;
    EventPump& m_pump;
    LiveSettings m_live;
    CSerialPort m_serial;
    QTimer m_dialTimer;
    QTimer m_serialWatch;
    QTimer m_initRetry;
    std::unique_ptr<DialUp> m_dialUp;
    std::unique_ptr<PingControl> m_pinger;
    std::string m_pingProblem;
    // Unset until the dial-up layer first reports; unset reads as false.
    std::optional<bool> m_bConnectedByDialup;
    bool m_fillingPhoneBook = false;
    std::unique_ptr<DispatchView> m_dispatchView;
    std::unique_ptr<TncDispatch> m_dispatch;
    std::string m_progressText;
    InitProgress m_progress = InitProgress::None;
    CommCheck m_commCheck = CommCheck::None;
    LinkCheck m_linkCheck;
    PingRecord m_lastPing;
    std::vector<std::string> m_phoneBook;
    // Initialize, Check TNC Comm or a manual ping is running (its waits let events through).
    int m_commandDepth = 0;
    // The device the last Initialize opened ("" for a TNC not on the serial port).
    std::string m_devicePath;
    bool m_unattended = false;
};

} // namespace gw
