// One node instance without its windows: instance checks and heartbeat, the stream table,
// the command interpreter, the server replies, the monitor and log, the sysop console's
// requests and the orderly shutdown. Views follow its signals and call its operations; the
// radio side and the setup are reached through interfaces.
#pragma once

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/settings_store.h"
#include "core/counters.h"
#include "core/main_core.h"
#include "core/monitor.h"
#include "core/node_log.h"
#include "core/radio_side.h"
#include "core/setup_side.h"
#include "core/stream_table.h"
#include "server/cresponse.h"
#include "server/server_link_host.h"
#include "server/server_queues.h"
#include "server/spool.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace gw {

class InstanceLock;

// A stream's traffic: none, the user's data in, the node's data out.
enum class Traffic { None, In, Out };

// What the node knows of its server: nothing yet; nothing now (no user on); the IP link
// verified at a user's connect; that check failed; a request's connection open; closed
// between requests (or a connection failed).
enum class ServerState { Unknown, Idle, Verified, Unreachable, Connected, Closed };

class NodeCore : public QObject, public ServerLinkHost, public MainCore {
    Q_OBJECT
  public:
    NodeCore(SettingsStore& settings, const Clock& clock, Dialogs& dialogs, ServerQueues& queues,
             QObject* parent = nullptr);
    ~NodeCore() override;

    // Start-up up to reading "Initialized": false when the start is refused (the message has
    // been shown and nothing was written).
    bool startUp(const std::string& commandLine);
    // The rest of start-up: hands over to the setup, which initializes by itself when the
    // last initialization succeeded and otherwise waits for the operator.
    void handOver(RadioSide& radio, SetupSide& setup);

    // MainCore: what the setup reads and shows through the main core.
    std::string instance() const override { return m_instance; }
    std::string settingsSection() const override { return "Client" + m_instance; }
    bool lastInitOK() const override { return m_lastInitOK; }
    void setLastInitOK(bool ok) override { m_lastInitOK = ok; }
    void reportServerLink(const std::string& server, const std::string& local) override;
    void reportInitialized(bool ok, bool logEnabled) override;
    void closeUsers(const std::string& why) override;
    void leaveSetup() override;
    bool hasLeftSetup() const override { return m_setupLeft; }
    void endProgram() override { requestStop(); }

    // Stream table and TNC events.
    void StatusEvent(const std::string& sStatus) override;
    void DataEvent(const std::string& sData) override;
    bool NewStream(const std::string& sStreamID, const std::string& sCall, int nPort);
    bool KillStream(int nStream);
    int Index(const std::string& sStreamID, int nPort) override;
    bool CheckConnection(const std::string& sStreamID, int nPort);
    // The stream's label with its user's call sign, as the connections table shows it.
    std::string streamLabel(int index) const;
    // The radio side's label of a stream ("1/A"), or "" before the hand-over.
    std::string radioLabel(int index) const;

    // Monitor and log file.
    void MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg) override;
    void Log(const std::string& sMsg) override;
    void PostLog(int nStream, const std::string& sMsg,
                 JournalPriority priority = JournalPriority::Info);
    void FlushLog();
    NodeLog& nodeLog() { return *m_log; }
    const Monitor& monitor() const { return m_monitor; }
    // The operator's choice of the stream the monitor list follows (1 to 10; 0 for none).
    void setMonitoredStream(int index) { m_monitor.follow(index); }
    // Writes the monitor list into the log; refused with a message while logging is off.
    void saveMonitorToLog();

    // What the TNC side shows: the outgoing traffic arrow and the TNC's state.
    void showOutgoingTraffic(int index) override;
    void setTncStatus(const std::string& text, bool working) override;

    // ServerLinkHost: the server address and the server link's connection.
    std::string serverAddress() const override;
    void setServerIndicator(ServerIndicator state) override;

    // Replies from the server, one per tick of the one-second timer; then the links whose
    // Bye waited for them are dropped, and the spool's retry runs when it is due.
    void poll();
    // The heartbeat, the idle streams and the dial-up hang-up, once a minute.
    void heartbeat();
    // Offers the spool's oldest message to the server when its retry time has come; the
    // retry interval doubles from kSpoolRetryFirst to kSpoolRetryLast while the server stays
    // out of reach. Runs on every tick of the one-second timer.
    void forwardSpoolWhenDue();
    Spool& spool() { return m_spool; }
    // What the status views show of the spool: off by its setting, not open (and why), in
    // error (and why: a read, a write or the file itself failed), or working; its figures when
    // they could be read, and what the last repair of a damaged file found.
    enum class SpoolHealth { Off, Ok, Unopenable, Error };
    struct SpoolState {
        SpoolHealth health = SpoolHealth::Off;
        std::string problem;
        std::optional<Spool::Figures> figures;
        std::optional<Spool::Repair> repair;
        QDateTime repairedAt;
    };
    SpoolState spoolState();
    // The operator's choice for a message set aside: sent again (at once) or dropped; false
    // with the reason in `refusal` when it cannot be done.
    bool spoolRetry(const std::string& mid, std::string& refusal);
    bool spoolDrop(const std::string& mid, std::string& refusal);

    // Sysop console: requests on behalf of a call sign through stream entry 0. Each returns
    // false when refused: the reason goes to `refusal` when given (a web page shows it), else
    // to the operator's message box. `mid` may be an index into the last list; it comes back
    // as the MID sent (for a send, the one generated).
    bool consoleList(const std::string& userCall, std::string* refusal = nullptr);
    bool consoleRead(const std::string& userCall, std::string& mid, std::string* refusal = nullptr);
    bool consoleKill(const std::string& userCall, std::string& mid, std::string* refusal = nullptr);
    bool consoleSend(const std::string& userCall, const std::string& to, const std::string& subject,
                     const std::string& message, std::string& mid, std::string* refusal = nullptr);
    // Every request's call must be a call sign, and its MID a MID; kill and send are the node's
    // own call's alone (compared regardless of case): a refusal says why.
    bool consoleOwnsCall(const std::string& userCall) const;
    // The request as sent (password hidden) and the reply with its own line ends (CR LF).
    const std::string& consoleCommand() const { return m_consoleCommand; }
    const std::string& receivedText() const { return m_received; }

    // What the status views read: totals since start, the start time, the TNC's last state,
    // the last request that went to the server and the server's state.
    struct LastRequest {
        QDateTime at; // invalid while none has been answered
        std::string command;
        std::string outcome;
    };
    const Counters& counters() const { return m_counters; }
    QDateTime startedAt() const { return m_startedAt; }
    // Requests of the stream's present connection still on their way.
    int requestsWaiting(int index) const;
    const std::string& tncStatusText() const { return m_tncStatusText; }
    bool tncWorking() const { return m_tncWorking; }
    // When the TNC last went from working to not working; invalid when it never has.
    QDateTime lastTncFault() const { return m_lastTncFault; }
    const LastRequest& lastRequest() const { return m_lastRequest; }
    ServerState serverState() const { return m_serverState; }
    // Whether the server answers: when it last did, when a connection to it last failed and
    // why, and since when it has not answered (invalid while it does or before any request).
    struct ServerReach {
        QDateTime lastSuccess;
        QDateTime lastFailure;
        std::string failure;
        QDateTime unreachableSince;
    };
    const ServerReach& serverReach() const { return m_serverReach; }

    void openSetup();
    // The operator's or the system's stop: false while a TNC operation or a wait is on the
    // stack; the waits end early and the stop runs once they have returned.
    bool requestStop();
    bool hasEnded() const { return m_ended; }

    // The stream table as the views read it.
    const StreamTable& streams() const { return m_streams; }
    // Minutes left before an idle dial-up link is hung up.
    std::int16_t hangUpCountdown() const { return m_hangUpCountdown; }
    bool heartbeatRunning() const { return m_heartbeatTimer.isActive(); }

    // What a radio user is shown when the node waits for a command, after each answer.
    static constexpr const char* kPrompt = "SMS>";
    // How long a Bye waits for the replies to lines typed ahead of it: a request's timeout
    // and the tick that delivers it, with room to spare.
    static constexpr std::chrono::milliseconds kByeGrace{30'000};
    // Server error texts shown to a user are cut to this length.
    static constexpr std::size_t kMaxErrorText = 1024;
    // How often a stop that waits for a running TNC operation looks again.
    static constexpr std::chrono::milliseconds kStopRetry{20};
    static constexpr std::chrono::milliseconds kSpoolRetryFirst{60'000};
    static constexpr std::chrono::milliseconds kSpoolRetryLast{30 * 60'000};

  signals:
    // The connections table: a stream's label and whether a user holds it.
    void streamChanged(int index, const std::string& label, bool inUse);
    void trafficChanged(int index, Traffic traffic);
    void serverStateChanged(ServerState state);
    void tncStatusChanged(const std::string& text, bool working);
    // A line for the monitor list (the stream it follows).
    void followedLineAdded(const std::string& line);
    // The console's request or reply texts changed.
    void consoleChanged();
    // The node restores or resets its TNC at shutdown and says so.
    void restoring(const std::string& text);
    // Start-up handed over; without `initializing` the setup waits for the operator.
    void handedOver(bool initializing);
    // The server link was loaded: the server's address and this machine's.
    void serverLinkLoaded(const std::string& server, const std::string& local);
    // An initialization ended; after a success the stream labels are read again.
    void initialized(bool ok, bool logEnabled);
    // The node left its setup (initialized, or the setup cancelled): its main view comes first.
    void setupLeft();
    // The shutdown sequence has run; the program ends.
    void ended();

  private:
    // Who asked for a reply still on its way: the connection that held the stream then.
    struct PendingReply {
        std::uint64_t connection;
        int port;
        std::string stream;
        std::string call;
        // A send's message, kept until its reply so that it can be spooled.
        std::shared_ptr<const SpooledMessage> message;
    };
    // What became of a failed send's message before its user is told.
    enum class SpoolOutcome { None, Queued, NotQueued };

    // Command interpreter, by input state.
    void interpretCommand(int index, const std::string& sData);
    void interpretSubject(int index, const std::string& sData);
    void interpretBody(int index, const std::string& sData);
    bool resolveMid(int index, const std::string& argument, std::string& mid);
    // `command` as counted: "list", "read", "kill" or "send".
    bool refuseWhenFull(int index, const char* command);
    // True (and the user told, the refusal counted) when `problem` says a field of the user's
    // request cannot go to the server.
    bool refuseUnsendable(int index, const char* command, const std::string& problem);
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
    // Everything the core sends to a radio user goes through these two, which count it.
    void radioSend(int port, const std::string& letter, const std::string& text);
    void radioSendFile(int port, const std::string& letter, const std::string& file);
    // Counting: a request the node refused, and the outcome of a reply to a user's or the
    // console's request (before the reply is delivered).
    void countRefused(const std::string& command);
    void countReply(const CResponse& reply);
    void noteServerReach(const CResponse& reply);
    // The one way the server's state changes: every view follows it.
    void setServerState(ServerState state);
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
    // Spool.
    void openSpool();
    // Logs what an open found (a repair, a leftover that could not be carried in).
    void reportSpoolOpen();
    // Every tick: a damaged file repaired, a deleted or replaced one made anew, delivered
    // messages the file could not drop dropped now.
    void careForSpool();
    void noteRelocation();
    SpoolOutcome spoolFailedSend();
    // Offers the oldest message unless one is on its way; false when none was offered.
    bool forwardSpool();
    void spoolReply();
    // Before hand-over the log's settings are not known: such lines go to the journal at
    // once and to the file once logging is on.
    void logSpool(const std::string& text, JournalPriority priority = JournalPriority::Info);
    // A failure the status views show until the spool works again; logged when it is new.
    void spoolFault(const std::string& text);
    void spoolWorks();
    // One user's sends reach the server in his order: a send waits behind his earlier one
    // still on its way, and goes into the spool behind his messages waiting there.
    void placeSend(std::unique_ptr<CCommand> request);
    void dispatchSend(std::unique_ptr<CCommand> request);
    void queueBehind(std::unique_ptr<CCommand> request);
    void releaseHeldSends(const std::string& call);
    bool sendOnItsWay(const std::string& call) const;
    int heldSends(int index) const;
    // Tells the user of his messages set aside since he last heard (with the prompt after
    // them when `prompt`).
    void tellSetAside(int index, bool prompt);
    // Console.
    std::unique_ptr<CCommand> consoleRequest(const char* command, const std::string& userCall);
    bool refuseConsole(DialogIcon icon, const std::string& text, std::string* refusal);
    // True (and the operator told) when the call is no call sign, or not the node's own where
    // `ownOnly` asks for it.
    bool refuseConsoleCall(const std::string& userCall, bool ownOnly, std::string* refusal);
    bool resolveConsoleMid(std::string& mid, std::string* refusal);
    bool queueConsoleMidRequest(const char* command, const std::string& userCall, std::string& mid,
                                std::string* refusal);
    void queueConsoleRequest(std::unique_ptr<CCommand> request);

    void shutdown();
    std::string now() const;

    SettingsStore& m_settings;
    const Clock& m_clock;
    Dialogs& m_dialogs;
    ServerQueues& m_queues;
    std::string m_instance;
    bool m_lastInitOK = false;
    StreamTable m_streams;
    std::int16_t m_hangUpCountdown = 0;
    // The reply being delivered.
    std::unique_ptr<CResponse> m_reply;
    // Ticks every second (replies, Byes, spool) and every minute (heartbeat, idle streams).
    QTimer m_pollTimer;
    QTimer m_heartbeatTimer;
    RadioSide* m_radio = nullptr;
    SetupSide* m_setup = nullptr;
    std::unique_ptr<NodeLog> m_log;
    std::unique_ptr<InstanceLock> m_instanceLock;
    Monitor m_monitor;
    bool m_ended = false;
    bool m_setupLeft = false;
    std::uint64_t m_connections = 0;
    std::map<std::string, PendingReply> m_pending;
    std::string m_received;
    std::string m_consoleCommand;
    Spool m_spool;
    bool m_spoolWanted = false;
    std::string m_spoolPath;
    Spool::Limits m_spoolLimits;
    // Why the spool is not open while it is wanted; tried again every kSpoolRetryFirst.
    std::string m_spoolOpenProblem;
    std::chrono::milliseconds m_spoolReopenAt{0};
    std::string m_spoolFault;
    std::optional<Spool::Repair> m_spoolRepair;
    QDateTime m_spoolRepairedAt;
    std::uint64_t m_spoolRelocations = 0;
    // Sends waiting behind their user's earlier send (their replies are pending).
    std::deque<std::unique_ptr<CCommand>> m_heldSends;
    SpoolOutcome m_spoolOutcome = SpoolOutcome::None;
    // The spool's request on its way, if any (one at a time).
    std::string m_spoolSession;
    std::string m_spoolMid;
    std::chrono::milliseconds m_spoolRetry = kSpoolRetryFirst;
    std::chrono::milliseconds m_spoolNextTry{0};
    // State for the status views.
    Counters m_counters;
    QDateTime m_startedAt;
    std::string m_tncStatusText;
    bool m_tncWorking = false;
    QDateTime m_lastTncFault;
    LastRequest m_lastRequest;
    ServerState m_serverState = ServerState::Unknown;
    ServerReach m_serverReach;
};

} // namespace gw
