// The main window and start-up object of one node instance: instance checks and heartbeat,
// the stream table with its display, the monitor list, the log file, the View menu and the
// orderly shutdown. The radio side and the setup window are reached through interfaces.
#pragma once

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/settings_store.h"
#include "core/main_core.h"
#include "core/node_log.h"
#include "core/radio_side.h"
#include "core/setup_side.h"
#include "core/stream_table.h"
#include "server/cresponse.h"
#include "server/server_link_host.h"
#include "server/server_queues.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QLineEdit;
class QPlainTextEdit;

namespace gw {

class frmAbout;
class InstanceLock;

class frmMain : public QMainWindow, public ServerLinkHost, public MainCore {
    Q_OBJECT
  public:
    frmMain(SettingsStore& settings, const Clock& clock, Dialogs& dialogs, ServerQueues& queues,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up up to reading "Initialized": false when the start is refused (the message has
    // been shown and nothing was written).
    bool startUp(const std::string& commandLine);
    // The rest of start-up: hands over to the setup window, which initializes by itself
    // when the last initialization succeeded and otherwise waits for the operator.
    void handOver(RadioSide& radio, SetupSide& setup);

    // MainCore: what the setup core reads and shows through this window.
    std::string instance() const override { return sInstance; }
    std::string settingsSection() const override { return "Client" + sInstance; }
    bool lastInitOK() const override { return bLastInitOK; }
    void setLastInitOK(bool ok) override { bLastInitOK = ok; }
    void showServerLink(const std::string& server, const std::string& local) override;
    void showInitialized(bool ok, bool logEnabled) override;
    void showMainWindow() override { show(); }
    bool mainWindowShown() const override { return isVisible(); }
    void endProgram() override { close(); }

    // Stream table and TNC events.
    void StatusEvent(const std::string& sStatus) override;
    void DataEvent(const std::string& sData) override;
    bool NewStream(const std::string& sStreamID, const std::string& sCall, int nPort);
    bool KillStream(int nStream);
    int Index(const std::string& sStreamID, int nPort) override;
    bool CheckConnection(const std::string& sStreamID, int nPort);

    // Monitor list and log file.
    void MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg) override;
    void Log(const std::string& sMsg) override;
    void PostLog(int nStream, const std::string& sMsg,
                 JournalPriority priority = JournalPriority::Info);
    void FlushLog();
    NodeLog& nodeLog() { return *m_log; }

    // What the TNC side shows: the outgoing traffic arrow and the TNC's state in lblTNC.
    void showOutgoingTraffic(int index) override;
    void setTncStatus(const std::string& text, bool working) override;

    // ServerLinkHost: the server address and the server indicator lblCMBO.
    std::string serverAddress() const override;
    void setServerIndicator(ServerIndicator state) override;

    // Replies from the server, one per tick of the one-second timer; then the links whose
    // Bye waited for them are dropped.
    void tmr_Timer();

    // Sysop console.
    void txtUserCall_LostFocus();
    void cmdList_Click();
    void cmdRead_Click();
    void cmdKill_Click();
    void cmdMessage_Click();

    // Timers, menus and buttons.
    void tmrActiveTimer1_Timer();
    void mnuView_Click(int index);
    void btnSavetoLog_Click();

    std::string sInstance;
    bool bLastInitOK = false;
    StreamTable Streams;
    std::int16_t HangUpCountdown = 0;
    std::unique_ptr<CResponse> CurrentReply;

    QTimer tmr;
    QTimer tmrActiveTimer1;
    QGroupBox* fraConnections;
    QGroupBox* fraSysop;
    QLabel* lblRestoring;
    std::array<QLabel*, 10> lblCall{};
    std::array<QLabel*, 10> lblTfc{};
    std::array<QRadioButton*, 10> optMon{};
    QListWidget* lstMonitor;
    QPushButton* btnSavetoLog;
    QLabel* lblCMBO;
    QLabel* lblTNC;
    QLabel* lblLocalIP;
    std::array<QAction*, 5> mnuView{};
    QLineEdit* txtUserCall;
    QLineEdit* txtMID;
    QLineEdit* txtTo;
    QLineEdit* txtSubject;
    QPlainTextEdit* txtMessage;
    QLineEdit* txtCommand;
    QPlainTextEdit* txtReceived;
    // The reply box's text with its own line ends (CR LF), as the replies wrote it.
    const std::string& receivedText() const { return m_received; }
    QPushButton* cmdList;
    QPushButton* cmdRead;
    QPushButton* cmdKill;
    QPushButton* cmdMessage;

    static constexpr int kMonitorLines = 1000;
    // How long a Bye waits for the replies to lines typed ahead of it: a request's timeout
    // and the tick that delivers it, with room to spare.
    static constexpr std::chrono::milliseconds kByeGrace{30'000};
    // Server error texts shown to a user are cut to this length.
    static constexpr std::size_t kMaxErrorText = 1024;
    // How often a stop that waits for a running TNC operation looks again.
    static constexpr std::chrono::milliseconds kStopRetry{20};

  signals:
    // The shutdown sequence has run; the program ends.
    void ended();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Who asked for a reply still on its way: the connection that held the stream then.
    struct PendingReply {
        std::uint64_t connection;
        int port;
        std::string stream;
        std::string call;
    };

    void buildWindow();
    QWidget* buildConsole(QWidget* parent);
    // Command interpreter, by input state.
    void interpretCommand(int index, const std::string& sData);
    void interpretSubject(int index, const std::string& sData);
    void interpretBody(int index, const std::string& sData);
    bool resolveMid(int index, const std::string& argument, std::string& mid);
    bool refuseWhenFull(int index);
    int repliesOnTheWay(int index) const;
    // Drops the links whose Bye waited for replies, once those are out or the wait is over.
    void finishByes();
    std::unique_ptr<CCommand> newRequest(int index, const char* command);
    void queueRequest(int index, std::unique_ptr<CCommand> request);
    // Replies.
    void deliverReply();
    bool replyStillWanted(int index);
    void logOutcomeFor(const PendingReply& asker);
    void postLogFor(int port, const std::string& stream, const std::string& call,
                    const std::string& sMsg, JournalPriority priority);
    std::string shownError(const std::string& error) const;
    void sendToUser(int index, const std::string& text);
    void showInConsole(const std::string& text);
    void closeConsoleEntry();
    // Console: the text with LF in the reply box, then the entry closes; radio: the text
    // and the prompt to the user.
    void finishReply(int index, const std::string& text);
    void ReplyList(int index);
    void ReplyRead(int index);
    void ReplyKill(int index);
    void ReplySend(int index);
    void ReplyUnknown(int index);
    // Console.
    bool consoleRequest(const char* command, std::unique_ptr<CCommand>& request);
    bool resolveConsoleMid();
    void queueConsoleMidRequest(const char* command);
    void queueConsoleRequest(std::unique_ptr<CCommand> request);

    void shutdown();
    std::string now() const;

    SettingsStore& m_settings;
    const Clock& m_clock;
    Dialogs& m_dialogs;
    ServerQueues& m_queues;
    RadioSide* m_radio = nullptr;
    SetupSide* m_setup = nullptr;
    std::unique_ptr<NodeLog> m_log;
    std::unique_ptr<InstanceLock> m_instanceLock;
    QButtonGroup* m_monitorGroup;
    QPointer<frmAbout> m_about;
    bool m_ended = false;
    std::uint64_t m_connections = 0;
    std::map<std::string, PendingReply> m_pending;
    std::string m_received;
};

} // namespace gw
